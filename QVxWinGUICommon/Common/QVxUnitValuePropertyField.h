#pragma once
// A numeric field with a unit selector: the value is kept in base units (signed
// 64-bit) and shown in the selected unit with a number of decimal places. Enter or
// focus loss after an edit submits the text; unreadable text restores the display.
// Children: the edit (kEditId), the unit list (kUnitListId) and an optional drag
// thumb "thumb".
// GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QVxUnitValueThumb;

class QVXWINGUICOMMON_EXPORT QVxUnitValuePropertyField : public QWidget {
    Q_OBJECT

public:
    static constexpr int kComboWidth = 50;
    static constexpr int kThumbImageId = 4233;
    // Ids of the value edit and the unit list inside the field.
    static constexpr int kEditId = 101;
    static constexpr int kUnitListId = 102;

    using ValueCallback = std::function<void(std::int64_t)>;

    explicit QVxUnitValuePropertyField(QWidget* parent = nullptr);
    ~QVxUnitValuePropertyField() override;

    // Places the field in `parent` at `rect` (100 x 25 when empty) with objectName "id<id>".
    bool Create(QWidget* parent, QRect rect, int id);

    // Adds a unit (divisor: base units per displayed unit) and shows the unit list.
    void AddUnit(int id, const QString& label, std::int64_t divisor);
    void SetUnit(int id);
    int GetUnitId() const;
    // Clamped to [minimum, maximum]; the text changes only when the value did.
    void SetValue(std::int64_t value);
    std::int64_t GetValue() const { return m_value; }
    void SetMinMax(std::int64_t minimum, std::int64_t maximum);
    void SetDecimalPart(int places);
    // Exact display: each unit shows every digit its divisor allows, without
    // trailing zeros ("0.3" ms, "1.5" V), and a decimal input is kept to the base
    // unit, so no value is cut by the chosen unit.
    void SetExactDecimals(bool exact);
    // Why the last submitted text was refused or changed ("" when taken as typed).
    QString GetLastInputNote() const { return m_lastInputNote; }
    void SetShowThumb(bool show);
    void SetValueChanged(ValueCallback callback) { m_valueChanged = std::move(callback); }
    void SetUnitChanged(ValueCallback callback) { m_unitChanged = std::move(callback); }
    int GetInnerControlHeight() const { return m_innerControlHeight; }
    bool IsDirty() const { return m_dirty; }
    QString DisplayText() const;

Q_SIGNALS:
    // A submitted text was refused (unreadable) or its value was limited to the
    // range; `note` says which and is also shown as a tooltip at the field.
    void InputNoted(const QString& note);
    // Point delta from the press on the thumb, while dragging and at the release.
    void ThumbDragged(QPoint delta);
    void ThumbReleased(QPoint delta);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Unit {
        int id;
        QString label;
        std::int64_t divisor;
    };

    std::int64_t Divisor() const;
    void UpdateDisplay();
    void Submit();
    std::optional<std::int64_t> ParseText() const;
    void NoteInput(const QString& note);
    void OnUnitIndexChanged(int index);
    void LayoutChildren();

    std::int64_t m_value = 0;
    std::int64_t m_minimum = 0;
    std::int64_t m_maximum = std::numeric_limits<std::int64_t>::max();
    std::vector<Unit> m_units;
    int m_unitIndex = -1;
    int m_decimalPlaces = 0;
    bool m_exact = false;
    QString m_lastInputNote;
    bool m_showThumb = false;
    bool m_dirty = false;
    bool m_updating = false;
    int m_innerControlHeight = 22;
    ValueCallback m_valueChanged;
    ValueCallback m_unitChanged;
    QLineEdit* m_edit;
    QComboBox* m_combo;
    QVxUnitValueThumb* m_thumb;
};
