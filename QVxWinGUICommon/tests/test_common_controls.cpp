// Common controls: unit-value text and field, progress dialog, list control,
// images and strings of the library.

#include "QVxWinGUICommon/Common/CQVxIconButton.h"
#include "QVxWinGUICommon/Common/CQVxProgressDlg.h"
#include "QVxWinGUICommon/Common/PopupPlacement.h"
#include "QVxWinGUICommon/Common/QVxFsListCtrl.h"
#include "QVxWinGUICommon/Common/QVxUnitValuePropertyField.h"
#include "QVxWinGUICommon/Common/UnitValueText.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformCaption.h"
#include "QVxWinGUICommon/WaveformMonitor/QVxWaveformMonitorWnd.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <stdexcept>
#include <thread>

using namespace qvx;

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// A 230 x 120 popup beside or below its control on a 1600 x 1000 screen: where it fits,
// flipped where that side ends at the screen, moved inward where neither side fits.
TEST(PopupPlacement, StaysOnTheScreenBesideOrBelowItsControl) {
    using QVxPopupPlacement::PlaceOnScreen;
    using Side = QVxPopupPlacement::Side;
    const QRect screen(0, 0, 1600, 1000);
    const QSize size(230, 120);
    EXPECT_EQ(PlaceOnScreen(size, QRect(100, 200, 30, 30), Side::kRight, screen), QRect(130, 200, 230, 120));
    // CH1's button at the right edge of a maximised window: left of the button.
    EXPECT_EQ(PlaceOnScreen(size, QRect(1560, 80, 30, 30), Side::kRight, screen), QRect(1330, 80, 230, 120));
    // Near the bottom: moved up to end at the screen's bottom.
    EXPECT_EQ(PlaceOnScreen(size, QRect(100, 950, 30, 30), Side::kRight, screen), QRect(130, 880, 230, 120));
    EXPECT_EQ(PlaceOnScreen(size, QRect(10, 40, 220, 40), Side::kBelow, screen), QRect(10, 80, 230, 120));
    EXPECT_EQ(PlaceOnScreen(size, QRect(10, 950, 220, 40), Side::kBelow, screen), QRect(10, 830, 230, 120));
    // Right edge with the below placement: moved left.
    EXPECT_EQ(PlaceOnScreen(size, QRect(1500, 40, 90, 40), Side::kBelow, screen), QRect(1370, 80, 230, 120));
    // A screen that does not start at 0 (a second monitor) and a narrow one: the
    // popup's top-left stays on it.
    const QRect second(1600, -200, 200, 300);
    EXPECT_EQ(PlaceOnScreen(size, QRect(1700, -150, 30, 30), Side::kRight, second),
              QRect(1600, -150, 230, 120));
}

TEST(UnitValueText, ShowsWholeUnitsAndTruncatedDecimals) {
    EXPECT_EQ(unitvalue::FormatValue(1005, 1000, 2), "1.00");
    EXPECT_EQ(unitvalue::FormatValue(1050, 1000, 2), "1.05");
    EXPECT_EQ(unitvalue::FormatValue(1999, 1000, 0), "1");
    EXPECT_EQ(unitvalue::FormatValue(-1500, 1000, 1), "-1.5");
    EXPECT_EQ(unitvalue::FormatValue(-500, 1000, 2), "-0.50");
    EXPECT_EQ(unitvalue::FormatValue(7, 10, 2), "0");  // divisor below 11: whole units only
    EXPECT_EQ(unitvalue::FormatValue(1234, 1000, 5), "1.23400");
    EXPECT_EQ(unitvalue::FormatValue(kMax, 1, 0), "9223372036854775807");
}

TEST(UnitValueText, ReadsDecimalsCutToPlacesAndClamps) {
    EXPECT_EQ(unitvalue::ParseValue("1.05", 1000, 2, 0, kMax), 1050);
    EXPECT_EQ(unitvalue::ParseValue("1.15", 1000, 2, 0, kMax), 1150);  // not 1140 from binary rounding
    EXPECT_EQ(unitvalue::ParseValue("1.059", 1000, 2, 0, kMax), 1050);
    EXPECT_EQ(unitvalue::ParseValue(" 2 ", 1000, 0, 0, kMax), 2000);
    EXPECT_EQ(unitvalue::ParseValue("12", 1, 0, 0, 10), 10);
    EXPECT_EQ(unitvalue::ParseValue("-3", 1, 0, 0, 10), 0);
    EXPECT_EQ(unitvalue::ParseValue("1e30", 1000, 2, kMin, kMax), kMax);
    EXPECT_EQ(unitvalue::ParseValue("99999999999999999999", 1000, 0, kMin, kMax), kMax);
    EXPECT_EQ(unitvalue::ParseValue("abc", 1000, 2, 0, kMax), std::nullopt);
    EXPECT_EQ(unitvalue::ParseValue("1.5x", 1000, 2, 0, kMax), std::nullopt);
    EXPECT_EQ(unitvalue::ParseValue("", 1000, 2, 0, kMax), std::nullopt);
    EXPECT_EQ(unitvalue::ParseValue("1.5", 1, 0, 0, kMax), std::nullopt);  // whole units expected
}

class UnitValueField : public ::testing::Test {
protected:
    QWidget parent;
    QVxUnitValuePropertyField* field = new QVxUnitValuePropertyField;
    QLineEdit* edit = nullptr;
    std::vector<std::int64_t> changes;

    void SetUp() override {
        field->Create(&parent, QRect(0, 0, 160, 25), 1200);
        field->AddUnit(1, "mV", 1);
        field->AddUnit(2, "V", 1000);
        field->SetUnit(2);
        field->SetDecimalPart(2);
        field->SetMinMax(0, 20000);
        field->SetValueChanged([this](std::int64_t v) { changes.push_back(v); });
        edit = parent.findChild<QLineEdit*>(QVxWinGUI::ControlName(QVxUnitValuePropertyField::kEditId));
        parent.show();
    }
    void Type(const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
};

TEST_F(UnitValueField, DisplaysInTheSelectedUnitAndKeepsBaseUnitsOnUnitChange) {
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(parent.findChild<QVxUnitValuePropertyField*>("id1200"), nullptr);
    field->SetValue(1005);
    EXPECT_EQ(edit->text(), "1.00");
    auto* combo =
        parent.findChild<QComboBox*>(QVxWinGUI::ControlName(QVxUnitValuePropertyField::kUnitListId));
    ASSERT_NE(combo, nullptr);
    int unitSeen = 0;
    field->SetUnitChanged([&](std::int64_t id) { unitSeen = static_cast<int>(id); });
    combo->setCurrentIndex(0);
    EXPECT_EQ(unitSeen, 1);
    EXPECT_EQ(edit->text(), "1005");
    EXPECT_EQ(field->GetValue(), 1005);
    EXPECT_TRUE(changes.empty());
}

TEST_F(UnitValueField, EnterSubmitsUnreadableTextRestoresAndAboveMaximumClamps) {
    field->SetValue(1005);
    Type("2.5");
    EXPECT_EQ(field->GetValue(), 2500);
    EXPECT_EQ(edit->text(), "2.50");
    Type("abc");
    EXPECT_EQ(edit->text(), "2.50");
    EXPECT_EQ(field->GetValue(), 2500);
    Type("99");
    EXPECT_EQ(field->GetValue(), 20000);
    EXPECT_EQ(edit->text(), "20.00");
    EXPECT_EQ(changes, (std::vector<std::int64_t>{2500, 20000}));
    EXPECT_FALSE(field->IsDirty());
}

TEST(UnitValueText, ExactFormKeepsEveryDigitOfTheBaseUnit) {
    EXPECT_EQ(unitvalue::FormatExactValue(300'000, 1'000'000), "0.3");
    EXPECT_EQ(unitvalue::FormatExactValue(1500, 1000), "1.5");
    EXPECT_EQ(unitvalue::FormatExactValue(2000, 1000), "2");
    EXPECT_EQ(unitvalue::FormatExactValue(1, 1'000'000'000), "0.000000001");
    EXPECT_EQ(unitvalue::FormatExactValue(-250, 1000), "-0.25");
    EXPECT_EQ(unitvalue::FormatExactValue(42, 1), "42");
    EXPECT_EQ(unitvalue::ParseExactValue("0.3", 1'000'000), 300'000);
    EXPECT_EQ(unitvalue::ParseExactValue("1.5", 1000), 1500);
    EXPECT_EQ(unitvalue::ParseExactValue(" 1.15 ", 1000), 1150);
    EXPECT_EQ(unitvalue::ParseExactValue("0.0000004", 1'000'000), 0);  // 0.4 ns: the nearest whole ns
    EXPECT_EQ(unitvalue::ParseExactValue("1e30", 1000), kMax);
    EXPECT_EQ(unitvalue::ParseExactValue("1,5", 1000), std::nullopt);
    EXPECT_EQ(unitvalue::ParseExactValue("", 1000), std::nullopt);
}

// A refused or limited input is said, not dropped without a word.
TEST_F(UnitValueField, ARefusedOrLimitedInputIsExplainedAndExactDecimalsAreKept) {
    QStringList notes;
    QObject::connect(field, &QVxUnitValuePropertyField::InputNoted, [&](const QString& n) { notes << n; });
    field->SetValue(1005);
    Type("abc");
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0], "「abc」は数値として読み取れないため、入力を取り消しました。");
    Type("99");
    ASSERT_EQ(notes.size(), 2);
    EXPECT_EQ(notes[1], "入力できる範囲は 0 〜 20 V のため、20.00 V にしました。");
    Type("3");
    EXPECT_EQ(notes.size(), 2);
    EXPECT_TRUE(field->GetLastInputNote().isEmpty());

    field->SetExactDecimals(true);
    EXPECT_EQ(edit->text(), "3");
    Type("1.5");
    EXPECT_EQ(field->GetValue(), 1500);
    EXPECT_EQ(edit->text(), "1.5");
    Type("0.0125");
    EXPECT_EQ(field->GetValue(), 13);  // 12.5 mV: the nearest mV
    EXPECT_EQ(edit->text(), "0.013");
}

TEST_F(UnitValueField, FocusLossWithoutAnEditKeepsTheExactValue) {
    field->SetValue(1005);
    edit->setFocus();
    QLineEdit other(&parent);
    other.show();
    other.setFocus();
    QApplication::processEvents();
    EXPECT_EQ(field->GetValue(), 1005);  // "1.00" was not read back as 1000
    EXPECT_TRUE(changes.empty());
}

// The dialog runs its task on a worker and closes when it returns.
TEST(ProgressDialog, ReportsProgressAndReturnsTrueWhenTheTaskEnds) {
    std::thread::id taskThread;
    int seenValue = -1;
    QString seenCaption;
    CQVxProgressDlg dialog(InteractionRunBehaviors::kNone, [&](ProgressToken* token) {
        taskThread = std::this_thread::get_id();
        token->SetCaption("読み込み中");
        token->SetProgress(1, 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        seenValue = std::max(
            seenValue,
            dialog.findChild<QProgressBar*>(QVxWinGUI::ControlName(CQVxProgressDlg::kBarId))->value());
        if (!dialog.findChild<QLabel*>(QVxWinGUI::ControlName(CQVxProgressDlg::kCaptionId))->text().isEmpty())
            seenCaption =
                dialog.findChild<QLabel*>(QVxWinGUI::ControlName(CQVxProgressDlg::kCaptionId))->text();
    });
    probe.start(5);
    EXPECT_TRUE(dialog.RunModal());
    EXPECT_NE(taskThread, std::this_thread::get_id());
    EXPECT_EQ(seenValue, 50);
    EXPECT_EQ(seenCaption, "読み込み中");
    EXPECT_FALSE(dialog.findChild<QPushButton*>(QVxWinGUI::ControlName(CQVxProgressDlg::kCancelId))
                     ->isVisibleTo(&dialog));
}

TEST(ProgressDialog, CancelWorksOnlyWhenCancellable) {
    for (const bool cancellable : {true, false}) {
        std::atomic<bool> release{false};
        const auto behaviors = cancellable
                                   ? InteractionRunBehaviors::kCancellable | InteractionRunBehaviors::kMarquee
                                   : InteractionRunBehaviors::kMarquee;
        CQVxProgressDlg dialog(behaviors, [&](ProgressToken* token) {
            while (!token->IsCancelRequested() && !release.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
        QTimer::singleShot(50, &dialog, [&] {
            EXPECT_EQ(
                dialog.findChild<QProgressBar*>(QVxWinGUI::ControlName(CQVxProgressDlg::kBarId))->maximum(),
                0);  // marquee
            QTest::keyClick(&dialog, Qt::Key_Escape);
            dialog.findChild<QPushButton*>(QVxWinGUI::ControlName(CQVxProgressDlg::kCancelId))->click();
            EXPECT_TRUE(dialog.isVisible());  // closes only when the task returns
            QTimer::singleShot(100, [&] { release = true; });
        });
        EXPECT_EQ(dialog.RunModal(), !cancellable) << "cancellable " << cancellable;
    }
}

TEST(ProgressDialog, AnExceptionOfTheTaskGivesFalse) {
    EXPECT_FALSE(CQVxProgressDlg::Run(InteractionRunBehaviors::kNone,
                                      [](ProgressToken*) { throw std::runtime_error("disk gone"); }));
}

// A list with check boxes in column 0 and an editable text in column 1.
class CheckList : public QVxFsListCtrl {
public:
    std::vector<bool> checked{false, true};
    std::vector<QString> names{"a", "b"};
    int cancels = 0;
    int GetRealItemCount() const override { return 2; }
    QString GetColumnString(int row, int) const override { return names[static_cast<std::size_t>(row)]; }
    void SetColumnString(int row, int, const QString& t) override {
        names[static_cast<std::size_t>(row)] = t;
    }
    bool IsCheckBox(int, int column) const override { return column == 0; }
    bool IsChecked(int row, int) const override { return checked[static_cast<std::size_t>(row)]; }
    void SetCheckData(int row, int, bool on) override { checked[static_cast<std::size_t>(row)] = on; }
    bool IsEditable(int, int column) const override { return column == 1; }
    void CancelEdit(int, int) override { ++cancels; }
};

TEST(ListControl, ColoursCheckBoxesAndInPlaceEditing) {
    CheckList list;
    list.InsertColumn(0, "", Qt::AlignCenter, 30);
    list.InsertColumn(1, "名前", Qt::AlignLeft, 100);
    list.resize(200, 120);
    list.show();
    QAbstractItemModel* model = list.model();
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->data(model->index(0, 1), Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
    EXPECT_EQ(model->data(model->index(0, 1), Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
    EXPECT_EQ(model->data(model->index(1, 0), Qt::CheckStateRole).toInt(), Qt::Checked);

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(model->index(0, 0)).center());
    EXPECT_TRUE(list.checked[0]);
    EXPECT_NE(model->data(model->index(0, 1), Qt::BackgroundRole).value<QColor>(),
              QColor(Qt::white));  // selected

    const QPoint cell = list.visualRect(model->index(0, 1)).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
    auto* editor = list.findChild<QLineEdit*>("QVxFsInPlaceEdit");
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "ch1");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the delegate commits through a queued call
    EXPECT_EQ(list.names[0], "ch1");
    EXPECT_EQ(list.cancels, 0);

    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed editor
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
    editor = list.findChild<QLineEdit*>("QVxFsInPlaceEdit");
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "x");
    QTest::keyClick(editor, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(list.names[0], "ch1");
    EXPECT_EQ(list.cancels, 1);
}

TEST(LibraryResources, ImagesAndStringsLoadByIdAndUnknownIdsFail) {
    EXPECT_NE(QVxUtils::LoadImageFromResource(QVxWaveformCaption::kSettingsButtonImageId), nullptr);
    EXPECT_EQ(QVxUtils::LoadImageFromResource(4999), nullptr);
    EXPECT_EQ(QVxWinGUI::LoadStringW(CQVxWaveformMonitorWnd::kCopyCommand),
              "グラフをクリップボードにコピー\nコピー");
    EXPECT_FALSE(QVxWinGUI::LoadStringW(25001).isEmpty());
    CQVxIconButton button;
    EXPECT_TRUE(button.SetImage(QVxWaveformCaption::kSettingsButtonImageId));
    EXPECT_FALSE(button.SetImage(1));
}

}  // namespace
