// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/credits_roll.h"

#include <algorithm>

namespace zelk {

std::vector<CreditLine> ParseCredits(std::string_view text, char delimiter) {
    std::vector<CreditLine> parsed;
    for (;;) {
        const std::size_t end = text.find(delimiter);
        std::string_view piece = text.substr(0, end);
        CreditLine line;
        if (!piece.empty()) {
            switch (piece.back()) {
            case '\t':
                line.kind = CreditKind::Title;
                break;
            case '\n':
                line.kind = CreditKind::Group;
                break;
            case '\r':
                line.kind = CreditKind::GroupTitle;
                break;
            case '^':
                line.kind = CreditKind::Picture;
                break;
            default:
                break;
            }
            if (line.kind != CreditKind::Text) {
                piece.remove_suffix(1);
            }
        }
        line.text = std::string(piece);
        parsed.push_back(std::move(line));
        if (end == std::string_view::npos) {
            return parsed;
        }
        text.remove_prefix(end + 1);
    }
}

void CreditsRoll::Load(std::vector<CreditLine> newLines, const HeightOf& heightOf) {
    lines = std::move(newLines);
    tops.clear();
    heights.clear();
    totalHeight = 0;
    offset = 0;
    int previous = heightOf(CreditLine{CreditKind::Text, "W"});
    for (const CreditLine& line : lines) {
        const bool gap = line.kind == CreditKind::Text && line.text.empty();
        const int height = std::max(gap ? previous : heightOf(line), 0);
        tops.push_back(totalHeight);
        heights.push_back(height);
        totalHeight += height;
        previous = height;
    }
}

std::vector<CreditsRoll::Placed> CreditsRoll::Visible(int viewHeight) const {
    std::vector<Placed> shown;
    if (totalHeight <= 0) {
        return shown;
    }
    // Round k starts at the bottom of the view plus k full rounds, less the distance risen.
    const std::int64_t risenPastView = offset - viewHeight;
    std::int64_t round = risenPastView > 0 ? risenPastView / totalHeight : 0;
    for (;; ++round) {
        const std::int64_t roundTop = viewHeight - offset + round * totalHeight;
        if (roundTop >= viewHeight) {
            return shown;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::int64_t top = roundTop + tops[i];
            if (heights[i] > 0 && top < viewHeight && top + heights[i] > 0) {
                shown.push_back({i, static_cast<int>(top), heights[i]});
            }
        }
    }
}

} // namespace zelk
