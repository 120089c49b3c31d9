// SPDX-License-Identifier: GPL-3.0-or-later
// The hex editor as a screen reader sees it: a table of bytes, a row for each line of the grid
// and a column for each byte of a line, whose focused cell is the byte under the caret (its
// address, its value in hex and decimal, and its character).
#pragma once

#include <cstdint>
#include <QAccessibleWidget>
#include <unordered_map>

namespace zelk {

class CHexGrid;

class HexGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit HexGridAccessible(CHexGrid* grid);
    ~HexGridAccessible() override;

    // The factory Qt asks for the interface of each object: a CHexGrid gets this one.
    static QAccessibleInterface* Create(const QString& className, QObject* object);
    // Tells assistive technology that the caret moved to another byte, or that the byte under
    // it changed.
    static void CurrentByteChanged(CHexGrid* grid);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text kind) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* focusChild() const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int columnCount() const override;
    int rowCount() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int row) const override;
    int selectedCellCount() const override;
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<QAccessibleInterface*> selectedCells() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

    CHexGrid* Grid() const;
    // The interface of the byte at `index`, made when first asked for; null beyond the image.
    QAccessibleInterface* ByteCell(std::uint32_t index) const;

private:
    // Cells are registered with Qt, which hands out their ids; they go with the table.
    mutable std::unordered_map<std::uint32_t, QAccessible::Id> cells;
};

} // namespace zelk
