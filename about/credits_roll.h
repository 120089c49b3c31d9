// SPDX-License-Identifier: GPL-3.0-or-later
// The credits roll without a window: the markup of the credits text, and where each line
// stands as the roll rises one pixel per tick, endlessly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

enum class CreditKind : std::uint8_t { Title, Group, GroupTitle, Picture, Text };

struct CreditLine {
    CreditKind kind = CreditKind::Text;
    // Without its markup character; for a picture, the picture's name.
    std::string text;

    bool operator==(const CreditLine&) const = default;
};

// Splits at every delimiter (empty pieces are lines too; the text after the last delimiter
// is the last line). A line's last character selects its kind and is not drawn: tab a
// title, line feed a group, carriage return a group title, "^" a picture; any other line is
// normal text, drawn whole.
std::vector<CreditLine> ParseCredits(std::string_view text, char delimiter);

class CreditsRoll {
public:
    // The pixel height of a line as drawn (a picture's height for a picture line).
    using HeightOf = std::function<int(const CreditLine& line)>;

    // An empty text line leaves a gap as tall as the line before it (the first one, as tall
    // as a line of normal text).
    void Load(std::vector<CreditLine> lines, const HeightOf& heightOf);
    // Rises one pixel.
    void Tick() { ++offset; }

    struct Placed {
        std::size_t line; // index into Lines()
        int top;          // in the view; negative once it begins to leave at the top
        int height;
    };
    // The lines that show in a view this tall: the first line entered at the bottom when the
    // roll started, and the first line follows the last one again.
    std::vector<Placed> Visible(int viewHeight) const;

    const std::vector<CreditLine>& Lines() const { return lines; }
    int TotalHeight() const { return totalHeight; }

private:
    std::vector<CreditLine> lines;
    std::vector<int> tops;
    std::vector<int> heights;
    int totalHeight = 0;
    std::int64_t offset = 0;
};

} // namespace zelk
