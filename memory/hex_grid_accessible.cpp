// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/hex_grid_accessible.h"

#include "memory/hex_grid.h"

#include <QWindow>

namespace zelk {
namespace {

// One byte of the grid.
class HexByteCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    HexByteCell(const HexGridAccessible* table, std::uint32_t byte) : owner(table), index(byte) {}

    bool isValid() const override {
        return owner->isValid() && index < owner->Grid()->Model().Length();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return owner->window(); }
    QAccessibleInterface* parent() const override { return const_cast<HexGridAccessible*>(owner); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    void setText(QAccessible::Text, const QString&) override {}
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }

    QString text(QAccessible::Text kind) const override {
        if (!isValid()) {
            return {};
        }
        const HexGridModel& model = owner->Grid()->Model();
        switch (kind) {
        case QAccessible::Name:
            return QString::fromStdString(model.DescribeByte(index));
        case QAccessible::Value:
            return QStringLiteral("%1").arg(model.ByteAt(index), 2, 16, QLatin1Char('0')).toUpper();
        default:
            return {};
        }
    }

    QAccessible::State state() const override {
        QAccessible::State state;
        state.focusable = true;
        state.selectable = true;
        state.editable = true;
        const bool current = isSelected();
        state.selected = current;
        state.focused = current && owner->Grid()->hasFocus();
        state.invisible = rect().isEmpty();
        return state;
    }

    QRect rect() const override {
        if (!isValid()) {
            return {};
        }
        const CHexGrid* grid = owner->Grid();
        const HexGridModel& model = grid->Model();
        const std::int64_t offset = std::int64_t{index} - model.TopIndex();
        const int row = offset < 0 ? -1 : static_cast<int>(offset / model.BytesPerRow());
        if (row < 0 || row >= model.VisibleRows()) {
            return {};
        }
        const int column = static_cast<int>(offset % model.BytesPerRow());
        const QPoint topLeft = grid->viewport()->mapToGlobal(
            QPoint(model.HexColumnX() + column * 3 * model.CharWidth(), row * model.LineHeight()));
        return {topLeft, QSize(2 * model.CharWidth(), model.LineHeight())};
    }

    bool isSelected() const override {
        return isValid() && owner->Grid()->Model().Position() == static_cast<std::int32_t>(index);
    }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override {
        return static_cast<int>(index % static_cast<std::uint32_t>(BytesPerRow()));
    }
    int rowIndex() const override {
        return static_cast<int>(index / static_cast<std::uint32_t>(BytesPerRow()));
    }
    QAccessibleInterface* table() const override { return const_cast<HexGridAccessible*>(owner); }

private:
    int BytesPerRow() const { return owner->Grid()->Model().BytesPerRow(); }

    const HexGridAccessible* owner;
    std::uint32_t index;
};

} // namespace

HexGridAccessible::HexGridAccessible(CHexGrid* grid)
    : QAccessibleWidget(grid, QAccessible::Table) {}

HexGridAccessible::~HexGridAccessible() {
    for (const auto& [index, id] : cells) {
        QAccessible::deleteAccessibleInterface(id);
    }
}

QAccessibleInterface* HexGridAccessible::Create(const QString&, QObject* object) {
    auto* grid = qobject_cast<CHexGrid*>(object);
    return grid != nullptr ? new HexGridAccessible(grid) : nullptr;
}

void HexGridAccessible::CurrentByteChanged(CHexGrid* grid) {
    if (!QAccessible::isActive()) {
        return;
    }
    auto* table = dynamic_cast<HexGridAccessible*>(QAccessible::queryAccessibleInterface(grid));
    QAccessibleInterface* cell =
        table != nullptr ? table->ByteCell(static_cast<std::uint32_t>(grid->Model().Position()))
                         : nullptr;
    if (cell == nullptr) {
        return;
    }
    QAccessibleEvent focus(cell, QAccessible::Focus);
    QAccessible::updateAccessibility(&focus);
    QAccessibleEvent name(cell, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&name);
}

CHexGrid* HexGridAccessible::Grid() const {
    return static_cast<CHexGrid*>(widget());
}

void* HexGridAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface) {
        return static_cast<QAccessibleTableInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QString HexGridAccessible::text(QAccessible::Text kind) const {
    if (kind == QAccessible::Description) {
        return QString::fromStdString(Grid()->Model().DescribeCurrentByte());
    }
    return QAccessibleWidget::text(kind);
}

int HexGridAccessible::childCount() const {
    return static_cast<int>(Grid()->Model().Length());
}

QAccessibleInterface* HexGridAccessible::child(int index) const {
    return index < 0 ? nullptr : ByteCell(static_cast<std::uint32_t>(index));
}

int HexGridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const QAccessibleTableCellInterface* cell =
        child != nullptr ? const_cast<QAccessibleInterface*>(child)->tableCellInterface() : nullptr;
    if (cell == nullptr || child->parent() != this) {
        return -1;
    }
    return cell->rowIndex() * columnCount() + cell->columnIndex();
}

QAccessibleInterface* HexGridAccessible::focusChild() const {
    return Grid()->Model().IsBound()
               ? ByteCell(static_cast<std::uint32_t>(Grid()->Model().Position()))
               : nullptr;
}

QAccessibleInterface* HexGridAccessible::cellAt(int row, int column) const {
    const int columns = columnCount();
    if (row < 0 || column < 0 || column >= columns) {
        return nullptr;
    }
    return ByteCell(static_cast<std::uint32_t>(row) * static_cast<std::uint32_t>(columns) +
                    static_cast<std::uint32_t>(column));
}

int HexGridAccessible::columnCount() const {
    return Grid()->Model().BytesPerRow();
}

int HexGridAccessible::rowCount() const {
    const auto columns = static_cast<std::uint32_t>(columnCount());
    return static_cast<int>((Grid()->Model().Length() + columns - 1) / columns);
}

QString HexGridAccessible::columnDescription(int column) const {
    return QStringLiteral("+%1").arg(column, 0, 16).toUpper();
}

QString HexGridAccessible::rowDescription(int row) const {
    const HexGridModel& model = Grid()->Model();
    return QStringLiteral("0x") +
           QStringLiteral("%1")
               .arg(static_cast<qulonglong>(row) * static_cast<qulonglong>(model.BytesPerRow()),
                    model.AddressDigits(), 16, QLatin1Char('0'))
               .toUpper();
}

int HexGridAccessible::selectedCellCount() const {
    return Grid()->Model().IsBound() ? 1 : 0;
}

QList<QAccessibleInterface*> HexGridAccessible::selectedCells() const {
    QAccessibleInterface* current = focusChild();
    return current != nullptr ? QList<QAccessibleInterface*>{current}
                              : QList<QAccessibleInterface*>{};
}

QAccessibleInterface* HexGridAccessible::ByteCell(std::uint32_t index) const {
    if (index >= Grid()->Model().Length()) {
        return nullptr;
    }
    if (const auto found = cells.find(index); found != cells.end()) {
        return QAccessible::accessibleInterface(found->second);
    }
    auto* cell = new HexByteCell(this, index);
    cells.emplace(index, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

} // namespace zelk
