// Data list pane: 64-bit paging arithmetic, the pane on a stored report and on a
// list of 3,000,000,000 rows, the CSV export dialog's range check and file
// dialog, the export itself; display-trigger list pane: cells, selection that
// follows view synchronisation, the CSV bytes and an unwritable destination.

#include "QV+Analog/DataList/AnalogDataListPaging.h"
#include "QV+Analog/DataList/CAnalogDataListPane.h"
#include "QV+Analog/DataList/CQVxAnalogDisplayTriggerListPane.h"
#include "QV+Analog/DataList/CQVxCsvExportSettingsDlg.h"
#include "QV+Analog/tests/app_test_support.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QV+AnalogCore/tests/analog_view_model_test_support.h"
#include "QV+AnalogCore/tests/demo_trigger_support.h"
#include "QVxCore/Archive.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"
#include "QVxCore/tests/support/ReportBuilder.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

namespace Paging = AnalogDataListPaging;
namespace fs = std::filesystem;

constexpr std::uint64_t kP = Paging::kPageRows;
constexpr std::uint64_t kHuge = 3'000'000'000;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(DataListPagingTest, ThreeBillionRowsSplitIntoTwoPages) {
    EXPECT_EQ(Paging::Split(kHuge - 1), (Paging::PagePosition{1, 852'516'352}));
    EXPECT_EQ(Paging::Split(kP - 1), (Paging::PagePosition{0, 2'147'483'646}));
    EXPECT_EQ(Paging::Split(kP), (Paging::PagePosition{1, 0}));
    EXPECT_EQ(Paging::Join({1, 852'516'352}), kHuge - 1);
    EXPECT_EQ(Paging::RowsInPage(kHuge, 0), 2'147'483'647);
    EXPECT_EQ(Paging::RowsInPage(kHuge, 1), 852'516'353);
    EXPECT_EQ(Paging::RowsInPage(kHuge, 2), 0);
    EXPECT_EQ(Paging::RowsInPage(0, 0), 0);

    // Scroll bar: end is the last row, lines and pages cross the page boundary.
    EXPECT_EQ(Paging::ScrollTarget(kHuge, 0, Paging::ScrollStep::End, 20), kHuge - 1);
    EXPECT_EQ(Paging::ScrollTarget(kHuge, kP - 1, Paging::ScrollStep::LineDown, 20), kP);
    EXPECT_EQ(Paging::ScrollTarget(kHuge, kP + 5, Paging::ScrollStep::PageUp, 20), kP - 15);
    EXPECT_EQ(Paging::ScrollTarget(kHuge, kHuge - 3, Paging::ScrollStep::PageDown, 20), kHuge - 1);
    EXPECT_EQ(Paging::ScrollTarget(kHuge, 3, Paging::ScrollStep::PageUp, 20), 0u);
    EXPECT_EQ(Paging::ScrollTarget(0, 0, Paging::ScrollStep::End, 20), 0u);

    // Clamping never wraps, also at the ends of the 64-bit range.
    EXPECT_EQ(Paging::ClampRow(-5, kHuge), 0u);
    EXPECT_EQ(Paging::ClampRow(INT64_MAX, kHuge), kHuge - 1);
    EXPECT_EQ(Paging::MoveRow(2, INT64_MIN, kHuge), 0u);
    EXPECT_EQ(Paging::MoveRow(UINT64_MAX - 1, INT64_MAX, UINT64_MAX), UINT64_MAX - 1);
}

// The list's header paints with the header's palette. Painted with a fresh copy of the
// application's palette instead, each repaint also cached a new picture of every section.
TEST(AnalogDataListHeaderTest, PaintsWithTheHeadersOwnPalette) {
    AnalogDataList list(nullptr);
    QHeaderView& header = *list.horizontalHeader();
    QPalette palette = header.palette();
    const QColor green(20, 200, 40);
    palette.setColor(QPalette::Button, green);
    palette.setColor(QPalette::Window, green);
    header.setPalette(palette);
    list.resize(600, 200);
    const QImage image = header.grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QColor painted = image.pixelColor(AnalogDataList::kColumnWidth / 4, image.height() / 2);
    EXPECT_GT(painted.green(), 150) << painted.name().toStdString();
    EXPECT_LT(painted.red(), 100) << painted.name().toStdString();
}

TEST(DataListPagingTest, WheelAndSelectionKeysAtPageBoundaries) {
    // 3 rows per 120-unit notch; down is a negative delta.
    EXPECT_EQ(Paging::Split(Paging::WheelTarget(kHuge, kP - 1, -120)), (Paging::PagePosition{1, 2}));
    EXPECT_EQ(Paging::WheelTarget(kHuge, kP + 1, 240), kP - 5);
    EXPECT_EQ(Paging::WheelTarget(kHuge, 1, 120), 0u);
    EXPECT_EQ(Paging::WheelTarget(kHuge, kHuge - 2, -360), kHuge - 1);
    EXPECT_EQ(Paging::WheelTarget(kHuge, 7, 39), 7u);  // less than a row

    // Page keys move by the visible rows less one; the ends stop them.
    using K = Paging::SelectKey;
    EXPECT_EQ(Paging::SelectionTarget(kHuge, kP - 3, K::PageDown, 10), kP + 6);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, kP + 2, K::PageUp, 10), kP - 7);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, kHuge - 4, K::PageDown, 10), kHuge - 1);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, 4, K::PageUp, 10), 0u);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, kP - 1, K::Down, 10), kP);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, kP, K::Up, 10), kP - 1);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, 0, K::Up, 10), 0u);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, kHuge - 1, K::Down, 10), kHuge - 1);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, 5, K::End, 10), kHuge - 1);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, 5, K::Home, 10), 0u);
    EXPECT_EQ(Paging::SelectionTarget(kHuge, 5, K::PageDown, 1), 6u);  // one visible row still moves

    // A row above the top becomes the top; one at or below the last visible row
    // becomes the second-to-last visible row.
    EXPECT_EQ(Paging::TopRowToShow(100, 90, 10), 90u);
    EXPECT_EQ(Paging::TopRowToShow(100, 108, 10), 100u);
    EXPECT_EQ(Paging::TopRowToShow(100, 109, 10), 101u);
    EXPECT_EQ(Paging::TopRowToShow(kP - 9, kP, 10), kP - 8);
    EXPECT_EQ(Paging::TopRowToShow(0, 3, 1), 3u);
}

// A list of any size whose cells name their row and column.
struct CountingSource : IAnalogDataListSource {
    std::uint64_t rows = kHuge;
    std::uint64_t GetRowCount() const override { return rows; }
    std::uint64_t GetFirstIndex() const override { return 0; }
    std::string GetColumnText(int column) const override { return column == 1 ? "Time[ns]" : "C"; }
    std::string GetText(std::uint64_t row, int column) const override {
        return std::to_string(row) + ":" + std::to_string(column);
    }
};

// A view model on a temporary data folder, optionally with a stored session of
// `records` records (100 ns apart) opened.
class PaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QVPLUS_TEMP_DIR", (dir.Path() / "data").c_str(), 1);
        ::unsetenv("QVPLUS_SIMULATED_UNITS");
        qvx::Interaction::Init(&interaction);
        auto repair = qvx::AnalogEnvData::MakeCacheFolderRepair(
            [](const fs::path&) { return std::optional<fs::path>(); });
        ASSERT_TRUE(viewModel.Init(&env, repair, {QVX_TEST_BITSTREAM}));
    }
    void TearDown() override {
        viewModel.Shutdown();
        qvx::Interaction::Clear();
        ::unsetenv("QVPLUS_TEMP_DIR");
    }

    void OpenStored(std::uint64_t records) {
        const fs::path folder = dir.Path() / "stored";
        qvx::test::ReportBuilder(folder / "repo").AddFile(0, records);
        qvx::AnalogSettings settings;
        ASSERT_TRUE(qvx::Archive::Save(settings, folder / "s.qvxa"));
        ASSERT_TRUE(viewModel.OpenSession(folder / "s.qvxa"));
    }

    // Shows `pane` at a fixed size so that the list has its visible rows.
    static void Show(QDockWidget& pane) {
        pane.resize(700, 300);
        pane.show();
        QApplication::processEvents();
    }

    qvx::test::TempDir dir{"datalistpane"};
    qvx::test::RecordingPrompts prompts;
    qvx::test::ScopedPrompts scoped{prompts};
    qvx::test::InlineInteraction interaction;
    qvx::AnalogEnvData env;
    QVxAnalogViewModel viewModel;
};

TEST_F(PaneTest, DataListShowsTheStoredRowsAndSyncsTheViewsToAClickedRow) {
    CAnalogDataListPane pane(viewModel, nullptr);
    Show(pane);
    AnalogDataList& list = *pane.GetList();
    EXPECT_EQ(pane.windowTitle(), QStringLiteral("アナログデータリスト"));
    ASSERT_NE(pane.findChild<QWidget*>(QVxWinGUI::ControlName(CAnalogDataListPane::kHolderId)), nullptr);
    EXPECT_EQ(list.GetTotal(), 0u);
    EXPECT_EQ(list.GetRealItemCount(), 0);
    {
        std::unique_ptr<QMenu> menu(pane.CreateContextMenu(nullptr));
        EXPECT_FALSE(
            menu->findChild<QAction*>(QVxWinGUI::CommandName(CAnalogDataListPane::kCsvExportCommandId))
                ->isEnabled());
    }

    OpenStored(1000);  // the session change refreshes the pane
    auto* header = static_cast<AnalogDataListHeader*>(list.horizontalHeader());
    EXPECT_EQ(header->GetTitle(1), QStringLiteral("Time[ns]"));
    EXPECT_EQ(header->GetTitle(5), QStringLiteral("CH4"));
    EXPECT_EQ(list.GetTotal(), 1000u);
    const int visible = list.GetVisibleRowCount();
    ASSERT_GE(visible, 5);
    EXPECT_GE(list.GetRealItemCount(), visible);
    EXPECT_EQ(list.GetColumnString(0, 0), QStringLiteral("1"));
    EXPECT_EQ(list.GetColumnString(3, 1), QStringLiteral("300"));  // record 3: 30 ticks of 10 ns
    EXPECT_EQ(pane.GetVerticalBar()->maximum(), 999);
    EXPECT_EQ(pane.GetVerticalBar()->pageStep(), visible);

    // Scrolling by the bar shows later rows; the rows past the end are not listed.
    pane.GetVerticalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(list.GetTopRow(), static_cast<std::uint64_t>(visible));
    EXPECT_EQ(list.GetColumnString(0, 0), QString::number(visible + 1));
    pane.GetVerticalBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(list.GetTopRow(), 999u);
    EXPECT_EQ(list.GetRealItemCount(), 1);
    EXPECT_EQ(list.GetColumnString(0, 0), QStringLiteral("1000"));
    EXPECT_EQ(list.GetColumnString(1, 0), QString());

    // A click selects the row and synchronises the views to its record.
    std::vector<QVxViewSyncParams> syncs;
    auto c = viewModel.ViewSync.Connect([&](const QVxViewSyncParams& p) { syncs.push_back(p); });
    pane.GetVerticalBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    const QRect cell = list.visualRect(list.model()->index(4, 2));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(list.GetSelectedRow(), 4);
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0].dataIndex, 4u);
    EXPECT_EQ(syncs[0].origin, &pane);
    EXPECT_EQ(syncs[0].option, 0);
    c->Disconnect();

    // Keys move the selection and keep it in view.
    QTest::keyClick(&list, Qt::Key_PageDown);
    EXPECT_EQ(list.GetSelectedRow(), 4 + visible - 1);
    EXPECT_LE(list.GetTopRow(), 4u + visible - 1);
    EXPECT_LT(4u + visible - 1, list.GetTopRow() + visible - 1);
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_EQ(list.GetSelectedRow(), 999);
    EXPECT_EQ(list.GetTopRow(), 999u - (visible - 2));
    QTest::keyClick(&list, Qt::Key_Home);
    EXPECT_EQ(list.GetSelectedRow(), 0);
    EXPECT_EQ(list.GetTopRow(), 0u);

    // A new, empty session empties the list and drops the selection.
    ASSERT_TRUE(viewModel.NewSession(nullptr));
    EXPECT_EQ(list.GetTotal(), 0u);
    EXPECT_EQ(list.GetSelectedRow(), -1);
    EXPECT_EQ(pane.GetVerticalBar()->maximum(), 0);
}

TEST_F(PaneTest, ThreeBillionRowsReachTheLastRowWithEndTheScrollBarAndTheWheel) {
    CAnalogDataListPane pane(viewModel, nullptr);
    CountingSource source;
    pane.SetSource(&source);
    Show(pane);
    AnalogDataList& list = *pane.GetList();
    QScrollBar& bar = *pane.GetVerticalBar();
    EXPECT_EQ(list.GetTotal(), kHuge);
    EXPECT_EQ(bar.maximum(), 2'147'483'646);

    bar.triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(list.GetPage(), 1u);
    EXPECT_EQ(list.GetPosition(), 852'516'352);
    EXPECT_EQ(bar.maximum(), 852'516'352);
    EXPECT_EQ(bar.value(), 852'516'352);
    EXPECT_EQ(list.GetColumnString(0, 0), QStringLiteral("2999999999:0"));

    // Back to the end of page 0 by dragging, then one line down crosses into page 1.
    bar.triggerAction(QAbstractSlider::SliderToMinimum);
    bar.setValue(2'147'483'646);
    EXPECT_EQ(list.GetTopRow(), kP - 1);
    EXPECT_EQ(list.GetColumnString(1, 3), QStringLiteral("2147483647:3"));  // rows flow across the page end
    bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(list.GetPage(), 1u);
    EXPECT_EQ(list.GetPosition(), 0);
    EXPECT_EQ(bar.value(), 0);
    bar.triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(list.GetTopRow(), kP - 1);
    EXPECT_EQ(bar.maximum(), 2'147'483'646);

    // The wheel: 3 rows per notch, over the page boundary.
    QWheelEvent down(QPointF(10, 10), list.viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                     QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list.viewport(), &down);
    EXPECT_EQ(list.GetPage(), 1u);
    EXPECT_EQ(list.GetPosition(), 2);

    // The End key selects the last row on page 1.
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_EQ(list.GetSelectedRow(), static_cast<std::int64_t>(kHuge - 1));
    EXPECT_EQ(list.GetSelectedPage(), 1u);
    EXPECT_EQ(list.GetPage(), 1u);
    const int visible = list.GetVisibleRowCount();
    EXPECT_EQ(list.GetTopRow(), kHuge - 1 - static_cast<std::uint64_t>(visible - 2));
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(list.GetSelectedRow(), static_cast<std::int64_t>(kHuge - 1));

    // A shorter list keeps the top and the selection inside it.
    source.rows = kP + 1;
    pane.OnTraceTimer();
    EXPECT_EQ(list.GetTopRow(), kP);
    EXPECT_EQ(list.GetSelectedRow(), -1);
    EXPECT_EQ(bar.maximum(), 0);
}

TEST_F(PaneTest, ExportDialogChecksTheRangeAndStaysOpenUntilAFileIsChosen) {
    CQVxCsvExportSettingsDlg dialog(11, 110, nullptr);
    dialog.show();
    auto* all = dialog.findChild<QRadioButton*>(QVxWinGUI::ControlName(CQVxCsvExportSettingsDlg::kAllRowsId));
    auto* range = dialog.findChild<QRadioButton*>(QVxWinGUI::ControlName(CQVxCsvExportSettingsDlg::kRangeId));
    auto* from = dialog.findChild<QLineEdit*>(QVxWinGUI::ControlName(CQVxCsvExportSettingsDlg::kFromId));
    auto* to = dialog.findChild<QLineEdit*>(QVxWinGUI::ControlName(CQVxCsvExportSettingsDlg::kToId));
    ASSERT_TRUE(all && range && from && to);
    EXPECT_TRUE(all->isChecked());
    EXPECT_FALSE(from->isEnabled());
    EXPECT_EQ(from->text(), QStringLiteral("11"));
    EXPECT_EQ(to->text(), QStringLiteral("110"));

    // All rows: no range check, the file dialog is cancelled: still open.
    from->setText(QStringLiteral("500"));
    dialog.accept();
    EXPECT_TRUE(prompts.messages.isEmpty());
    ASSERT_EQ(prompts.dialogFilters.size(), 1);
    EXPECT_EQ(prompts.dialogFilters[0], QVxAppPrompts::QtFilterFromTable("CSV file(*.csv)|*.csv||"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    range->setChecked(true);
    EXPECT_TRUE(from->isEnabled());
    const std::pair<const char*, const char*> invalid[] = {{"10", "20"},  {"111", "111"}, {"11", "9"},
                                                           {"11", "111"}, {"30", "29"},   {"", "20"}};
    for (const auto& [f, t] : invalid) {
        prompts.messages.clear();
        from->setText(QString::fromLatin1(f));
        to->setText(QString::fromLatin1(t));
        to->setFocus();
        dialog.accept();
        ASSERT_EQ(prompts.messages.size(), 1) << f << "~" << t;
        EXPECT_EQ(prompts.messages[0], QStringLiteral("範囲指定が異常です。"));
        EXPECT_EQ(dialog.focusWidget(), from);
        EXPECT_TRUE(dialog.isVisible());
    }
    EXPECT_EQ(prompts.dialogFilters.size(), 1);  // no file dialog for an invalid range

    prompts.messages.clear();
    from->setText(QStringLiteral("110"));
    to->setText(QStringLiteral("110"));
    prompts.paths.push_back(QStringLiteral("/tmp/x.csv"));
    dialog.accept();
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.IsAllRows());
    EXPECT_EQ(dialog.GetFrom(), 110);
    EXPECT_EQ(dialog.GetTo(), 110);
    EXPECT_EQ(dialog.GetOutputPath(), QStringLiteral("/tmp/x.csv"));
}

TEST_F(PaneTest, ExportCommandWritesTheChosenRowsBehindTheProgressDialog) {
    OpenStored(50);
    CAnalogDataListPane pane(viewModel, nullptr);
    Show(pane);
    const fs::path out = dir.Path() / "rows.csv";

    // The modal dialog is answered from the event loop: rows 7 to 7.
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CQVxCsvExportSettingsDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialog->findChild<QRadioButton*>(QVxWinGUI::ControlName(CQVxCsvExportSettingsDlg::kRangeId))
            ->setChecked(true);
        dialog->findChild<QLineEdit*>(QVxWinGUI::ControlName(CQVxCsvExportSettingsDlg::kFromId))
            ->setText(QStringLiteral("7"));
        dialog->findChild<QLineEdit*>(QVxWinGUI::ControlName(CQVxCsvExportSettingsDlg::kToId))
            ->setText(QStringLiteral("7"));
        prompts.paths.push_back(QString::fromStdString(out.string()));
        answered = true;
        dialog->accept();
    });
    std::unique_ptr<QMenu> menu(pane.CreateContextMenu(nullptr));
    QAction* action =
        menu->findChild<QAction*>(QVxWinGUI::CommandName(CAnalogDataListPane::kCsvExportCommandId));
    ASSERT_TRUE(action->isEnabled());
    action->trigger();
    ASSERT_TRUE(answered);
    const std::string text = ReadFile(out);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "#,Time[ns],CH1,CH2,CH3,CH4\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_EQ(text.compare(text.find('\n') + 1, 9, "7,\"600\",-"), 0) << text;

    // All rows, and a destination that cannot be created.
    EXPECT_TRUE(pane.ExportCsv(out, -1, -1));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    const std::string all = ReadFile(out);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 51);
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_FALSE(pane.ExportCsv(dir.Path() / "missing" / "x.csv", -1, -1));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_FALSE(fs::exists(dir.Path() / "missing"));
}

TEST_F(PaneTest, TheMarkedRangeAndTimeRangesExportAsCsvOrHdf5) {
    OpenStored(50);  // times 0, 100, ..., 4900 ns
    auto& markers = viewModel.GetSessionSettings()->visualSettings.markers;
    markers[0] = {true, 1200, markers[0].color};  // M1 after M2: the span is M2 to M1
    markers[1] = {true, 450, markers[1].color};
    CAnalogDataListPane pane(viewModel, nullptr);
    Show(pane);
    ASSERT_EQ(pane.GetExportTimeSpans().markers, std::make_pair(std::int64_t{450}, std::int64_t{1200}));
    // The waveform's window is offered once it has columns.
    EXPECT_FALSE(pane.GetExportTimeSpans().visible.has_value());
    viewModel.GetOscilloGraphViewModel()->ResetViewportWidth(1000);
    ASSERT_TRUE(pane.GetExportTimeSpans().visible.has_value());
    EXPECT_GT(pane.GetExportTimeSpans().visible->second, pane.GetExportTimeSpans().visible->first);

    // Answers the modal dialog from the event loop with `answer`, then OK.
    using Range = CQVxCsvExportSettingsDlg::Range;
    auto exportWith = [&](Range initial, const fs::path& out,
                          const std::function<void(CQVxCsvExportSettingsDlg&)>& answer) {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CQVxCsvExportSettingsDlg*>(QApplication::activeModalWidget());
            if (!dialog) return;
            answer(*dialog);
            prompts.paths.push_back(QString::fromStdString(out.string()));
            answered = true;
            dialog->accept();
            if (dialog->isVisible()) dialog->reject();  // an invalid range keeps it open
        });
        pane.OnCsvExport(initial);
        EXPECT_TRUE(answered);
    };

    // The context menu's marked-range export opens with M1-M2 chosen: records 5 to 12.
    const fs::path csv = dir.Path() / "marked.csv";
    exportWith(Range::kMarkers, csv,
               [](CQVxCsvExportSettingsDlg& d) { EXPECT_EQ(d.GetRange(), Range::kMarkers); });
    const std::string text = ReadFile(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);
    EXPECT_EQ(text.compare(text.find('\n') + 1, 8, "6,\"500\","), 0) << text;
    EXPECT_NE(text.find("\n13,\"1,200\","), std::string::npos) << text;

    // HDF5 of a time range: the file filter follows the format, the file is HDF5.
    const fs::path h5 = dir.Path() / "range.h5";
    exportWith(Range::kAllRows, h5, [](CQVxCsvExportSettingsDlg& d) {
        d.GetHdf5Button()->setChecked(true);
        d.GetRangeButton(Range::kTime)->setChecked(true);
        d.findChild<QLineEdit*>(QStringLiteral("editFromNs"))->setText(QStringLiteral("0"));
        d.findChild<QLineEdit*>(QStringLiteral("editToNs"))->setText(QStringLiteral("250"));
    });
    EXPECT_EQ(prompts.dialogFilters.back(), QVxAppPrompts::QtFilterFromTable("HDF5 file(*.h5)|*.h5||"));
    EXPECT_EQ(ReadFile(h5).substr(0, 4), "\x89HDF");
    EXPECT_TRUE(prompts.messages.isEmpty());

    // A time range with to before from is refused in the dialog; one without records after it.
    exportWith(Range::kTime, h5, [](CQVxCsvExportSettingsDlg& d) {
        d.findChild<QLineEdit*>(QStringLiteral("editFromNs"))->setText(QStringLiteral("300"));
        d.findChild<QLineEdit*>(QStringLiteral("editToNs"))->setText(QStringLiteral("200"));
    });
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0], QStringLiteral("範囲指定が異常です。"));
    exportWith(Range::kTime, h5, [](CQVxCsvExportSettingsDlg& d) {
        d.findChild<QLineEdit*>(QStringLiteral("editFromNs"))->setText(QStringLiteral("9000"));
        d.findChild<QLineEdit*>(QStringLiteral("editToNs"))->setText(QStringLiteral("9999"));
    });
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_EQ(prompts.messages[1], QStringLiteral("指定した範囲にデータがありません。"));
    EXPECT_EQ(ReadFile(h5).substr(0, 4), "\x89HDF");

    // Without both markers their choice is disabled and the dialog falls back to all rows.
    markers[1].enabled = false;
    EXPECT_FALSE(pane.GetExportTimeSpans().markers.has_value());
    CQVxCsvExportSettingsDlg dialog(1, 50, nullptr, pane.GetExportTimeSpans(), Range::kMarkers);
    EXPECT_FALSE(dialog.GetRangeButton(Range::kMarkers)->isEnabled());
    EXPECT_EQ(dialog.GetRange(), Range::kAllRows);
}

// While the view shows clock time the time range is typed as times of day, with a hint
// saying so, and the spans are shown as times of day; ns since the start are refused there.
TEST_F(PaneTest, InClockTimeTheTimeRangeIsTypedAsTimesOfDay) {
    // 50 records 100 ns apart from 2026-12-08 10:02:37.123456789 UTC.
    const fs::path folder = dir.Path() / "clock";
    qvx::test::ReportBuilder(folder / "repo").StartTime(1'796'724'157, 123'456'789).AddFile(0, 50);
    qvx::AnalogSettings settings;
    ASSERT_TRUE(qvx::Archive::Save(settings, folder / "s.qvxa"));
    ASSERT_TRUE(viewModel.OpenSession(folder / "s.qvxa"));
    viewModel.SetClockTimeShown(true);
    const auto origin = viewModel.GetClockTimeOrigin();
    ASSERT_TRUE(origin.has_value());
    const auto timeOfDay = [&](std::int64_t ns) {
        return QString::fromStdString(QVxClockTime::TimeOfDay(*origin + ns, 9));
    };
    auto& markers = viewModel.GetSessionSettings()->visualSettings.markers;
    markers[0] = {true, 450, markers[0].color};
    markers[1] = {true, 1200, markers[1].color};
    CAnalogDataListPane pane(viewModel, nullptr);
    Show(pane);

    using Range = CQVxCsvExportSettingsDlg::Range;
    const fs::path csv = dir.Path() / "clock.csv";
    int round = 0;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CQVxCsvExportSettingsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* from = dialog->findChild<QLineEdit*>(QStringLiteral("editFromNs"));
        auto* to = dialog->findChild<QLineEdit*>(QStringLiteral("editToNs"));
        ASSERT_TRUE(from && to);
        EXPECT_NE(dialog->findChild<QLabel*>(QStringLiteral("labelTimeHint")), nullptr);
        if (const char* shots = std::getenv("QVX_APP_SHOTS"))
            dialog->grab().save(QString::fromLocal8Bit(shots) + "/i31frame2-export-clock-time.png");
        EXPECT_TRUE(dialog->GetRangeButton(Range::kMarkers)->text().contains(timeOfDay(450)))
            << dialog->GetRangeButton(Range::kMarkers)->text().toStdString();
        // ns since the start are not a time of day here.
        from->setText(QStringLiteral("300"));
        to->setText(QStringLiteral("1200"));
        dialog->accept();
        EXPECT_EQ(prompts.messages.size(), 1u);
        EXPECT_TRUE(dialog->isVisible());
        from->setText(timeOfDay(300));
        to->setText(timeOfDay(1200));
        prompts.paths.push_back(QString::fromStdString(csv.string()));
        ++round;
        dialog->accept();
        if (dialog->isVisible()) dialog->reject();
    });
    pane.OnCsvExport(Range::kTime);
    EXPECT_EQ(round, 1);
    // Records at 300 ... 1200 ns: ten rows under the header.
    const std::string text = ReadFile(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11) << text;
}

TEST_F(PaneTest, TriggerListCellsSelectionAndCsvBytes) {
    OpenStored(20);
    CQVxAnalogDisplayTriggerListPane pane(viewModel, nullptr);
    Show(pane);
    CQVxAnalogDisplayTriggerList& list = *pane.GetList();
    EXPECT_EQ(pane.windowTitle(), QStringLiteral("表示トリガーリスト"));
    EXPECT_EQ(list.GetRealItemCount(), 0);

    // An edge hit, a pulse hit with a quote-free grouped width, a hit on a missing record.
    viewModel.GetSession()->GetDisplayTriggerList() = {{2, 0}, {5, 1'234'567}, {99, -3}};
    pane.OnTraceTimer();
    ASSERT_EQ(list.GetRealItemCount(), 3);
    EXPECT_EQ(list.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("データ番号"));
    EXPECT_EQ(list.model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("WidthTime[ns]"));
    EXPECT_EQ(list.GetColumnString(0, 0), QStringLiteral("1"));
    EXPECT_EQ(list.GetColumnString(0, 1), QStringLiteral("3"));
    EXPECT_EQ(list.GetColumnString(0, 2), QStringLiteral("200"));
    EXPECT_EQ(list.GetColumnString(0, 3), QStringLiteral("-"));
    EXPECT_EQ(list.GetColumnString(1, 3), QStringLiteral("1,234,567"));
    EXPECT_EQ(list.GetColumnString(2, 3), QStringLiteral("-"));
    EXPECT_EQ(list.GetColumnString(2, 2), QStringLiteral("-"));

    // The selection follows the record the views were synchronised to.
    viewModel.SyncViewsToDataIndex(5, nullptr, 0);
    EXPECT_EQ(list.GetSelectedRow(), 1);
    pane.OnTraceTimer();  // a new count keeps the selection
    EXPECT_EQ(list.GetSelectedRow(), 1);
    viewModel.SyncViewsToDataIndex(6, nullptr, 0);
    EXPECT_EQ(list.GetSelectedRow(), -1);

    // A click synchronises the views to the hit's record, asked by the list.
    std::vector<QVxViewSyncParams> syncs;
    auto c = viewModel.ViewSync.Connect([&](const QVxViewSyncParams& p) { syncs.push_back(p); });
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualRect(list.model()->index(0, 1)).center());
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0].dataIndex, 2u);
    EXPECT_EQ(syncs[0].option, 1);
    EXPECT_EQ(list.GetSelectedRow(), 0);
    c->Disconnect();

    // CSV: byte-order mark, header, first cell bare and every further cell quoted.
    const fs::path out = dir.Path() / "hits.csv";
    prompts.paths.push_back(QString::fromStdString(out.string()));
    ASSERT_TRUE(pane.OnCsvExport());
    const std::string csv = ReadFile(out);
    const std::string head = "\xEF\xBB\xBF#,データ番号,Time[ns],WidthTime[ns],CH1,CH2,CH3,CH4\n";
    ASSERT_EQ(csv.substr(0, head.size()), head);
    const std::string rows = csv.substr(head.size());
    EXPECT_EQ(rows.rfind("1,\"3\",\"200\",\"-\",\"", 0), 0u) << rows;
    EXPECT_NE(rows.find("\n2,\"6\",\"500\",\"1,234,567\",\""), std::string::npos);
    EXPECT_NE(rows.find("\n3,\"100\",\"-\",\"-\",\"-\",\"-\",\"-\",\"-\"\n"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);

    // Cancelled file dialog: nothing; an unwritable file: a message, no file.
    EXPECT_FALSE(pane.OnCsvExport());
    EXPECT_TRUE(prompts.messages.isEmpty());
    prompts.paths.push_back(QString::fromStdString((dir.Path() / "no" / "hits.csv").string()));
    EXPECT_FALSE(pane.OnCsvExport());
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_FALSE(fs::exists(dir.Path() / "no"));
}

// During a trace the list grows on the trace timer from copies of the hits (the
// log collector's thread appends to the session's list meanwhile), with the time
// and values of the records already written, and exports them; after it the list
// shows the stored report's hits with their times and values, the same texts.
TEST_F(PaneTest, TriggerListGrowsDuringATraceAndShowsTheStoredHitsAfterIt) {
    ::setenv("QVPLUS_SIMULATED_UNITS", "AN0000SIM", 1);
    ::setenv("QVPLUS_SIM_SIGNAL", "demo", 1);
    auto& devices = *viewModel.GetDeviceManagerViewModel();
    devices.RefreshDeviceList();
    devices.JoinConnectionThread();
    ASSERT_TRUE(QTest::qWaitFor([&] { return devices.GetConnectedDevice() != nullptr; }, 20000));

    // Repeat display trigger on the demo signal's CH4 pulses.
    qvx::test::UseDemoPulseTrigger(*viewModel.GetSessionSettings(),
                                   qvx::QVxAnalogDisplayTriggerAnalyzer::kModeRepeat);

    CQVxAnalogDisplayTriggerListPane pane(viewModel, nullptr);
    Show(pane);
    CQVxAnalogDisplayTriggerList& list = *pane.GetList();
    ASSERT_TRUE(viewModel.StartTrace());
    EXPECT_TRUE(pane.CanCsvExport());
    int ticks = 0;
    while (ticks < 100 && list.GetRealItemCount() < 3) {
        QTest::qWait(100);
        pane.OnTraceTimer();
        ++ticks;
    }
    ASSERT_GE(list.GetRealItemCount(), 3);
    // Later ticks append rows, never reset the list: a chosen row stays selected and the
    // rows are not read again.
    list.SelectRow(0);
    int resets = 0;
    QObject::connect(list.model(), &QAbstractItemModel::modelReset, &list, [&] { ++resets; });
    const int before = list.GetRealItemCount();
    for (int tick = 0; tick < 100 && list.GetRealItemCount() == before; ++tick) {
        QTest::qWait(100);
        pane.OnTraceTimer();
    }
    EXPECT_GT(list.GetRealItemCount(), before);
    EXPECT_EQ(list.model()->rowCount(), list.GetRealItemCount());
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(list.GetSelectedRow(), 0);
    EXPECT_EQ(list.GetColumnString(0, 0), QStringLiteral("1"));
    EXPECT_NE(list.GetColumnString(0, 1), QStringLiteral("-"));
    EXPECT_NE(list.GetColumnString(0, 3), QStringLiteral("-"));  // pulse hits have a width
    // The hit's record is on disk: its time and values, as the stored report will show them.
    QStringList during;
    for (int c = 0; c < 8; ++c) during << list.GetColumnString(0, c);
    EXPECT_NE(during[2], QStringLiteral("-"));
    EXPECT_TRUE(during[4].endsWith('V')) << during[4].toStdString();
    const fs::path csv = dir.Path() / "during.csv";
    ASSERT_TRUE(pane.ExportCsv(csv));
    const std::string text = ReadFile(csv);
    EXPECT_GE(std::count(text.begin(), text.end(), '\n'), 4);  // the header and the hits so far
    EXPECT_NE(text.find("\n1,\"" + during[1].toStdString() + "\",\"" + during[2].toStdString() + "\""),
              std::string::npos)
        << text.substr(0, 300);

    viewModel.StopTrace();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return viewModel.GetTraceState() == QVxAnalogViewModel::kIdle; }, 60000));
    ASSERT_TRUE(viewModel.WasLastReportOpened());
    const std::size_t hits = viewModel.GetSession()->GetDisplayTriggerList().size();
    EXPECT_EQ(static_cast<std::size_t>(list.GetRealItemCount()), hits);
    EXPECT_NE(list.GetColumnString(0, 2), QStringLiteral("-"));  // the record's time from the report
    for (int c = 0; c < 8; ++c) EXPECT_EQ(list.GetColumnString(0, c), during[c]) << c;
    EXPECT_TRUE(pane.CanCsvExport());
    ::unsetenv("QVPLUS_SIMULATED_UNITS");
}

// Keys that move the selection synchronise the views to the selected record, as a
// click does; a key that leaves the selection where it is does not. In the trigger
// list Home and End go to the first and last row without scrolling sideways.
TEST_F(PaneTest, SelectionKeysSyncTheViewsAsAClickDoes) {
    OpenStored(1000);
    std::vector<QVxViewSyncParams> syncs;
    auto c = viewModel.ViewSync.Connect([&](const QVxViewSyncParams& p) { syncs.push_back(p); });
    auto lastSync = [&] { return syncs.empty() ? std::uint64_t{UINT64_MAX} : syncs.back().dataIndex; };

    CAnalogDataListPane data(viewModel, nullptr);
    Show(data);
    AnalogDataList& rows = *data.GetList();
    QTest::keyClick(&rows, Qt::Key_End);
    EXPECT_EQ(rows.GetSelectedRow(), 999);
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(lastSync(), 999u);
    EXPECT_EQ(syncs.back().origin, &data);
    EXPECT_EQ(syncs.back().option, 0);
    QTest::keyClick(&rows, Qt::Key_End);  // already there
    EXPECT_EQ(syncs.size(), 1u);
    QTest::keyClick(&rows, Qt::Key_Up);
    EXPECT_EQ(lastSync(), 998u);
    QTest::keyClick(&rows, Qt::Key_PageUp);
    EXPECT_EQ(lastSync(), static_cast<std::uint64_t>(rows.GetSelectedRow()));
    QTest::keyClick(&rows, Qt::Key_Home);
    EXPECT_EQ(lastSync(), 0u);
    QTest::keyClick(&rows, Qt::Key_Down);
    EXPECT_EQ(lastSync(), 1u);
    EXPECT_EQ(syncs.size(), 5u);

    viewModel.GetSession()->GetDisplayTriggerList() = {{2, 0}, {5, 0}, {700, 0}};
    CQVxAnalogDisplayTriggerListPane triggers(viewModel, nullptr);
    Show(triggers);  // narrower than its eight columns: it has a sideways bar
    CQVxAnalogDisplayTriggerList& hits = *triggers.GetList();
    ASSERT_EQ(hits.GetRealItemCount(), 3);
    ASSERT_GT(hits.horizontalScrollBar()->maximum(), 0);
    QTest::mouseClick(hits.viewport(), Qt::LeftButton, {},
                      hits.visualRect(hits.model()->index(0, 1)).center());
    ASSERT_EQ(hits.GetSelectedRow(), 0);
    syncs.clear();
    QTest::keyClick(&hits, Qt::Key_Down);
    EXPECT_EQ(hits.GetSelectedRow(), 1);
    EXPECT_EQ(lastSync(), 5u);
    QTest::keyClick(&hits, Qt::Key_End);
    EXPECT_EQ(hits.GetSelectedRow(), 2);
    EXPECT_EQ(lastSync(), 700u);
    EXPECT_EQ(hits.horizontalScrollBar()->value(), 0) << "End scrolled sideways";
    QTest::keyClick(&hits, Qt::Key_Up);
    EXPECT_EQ(lastSync(), 5u);
    QTest::keyClick(&hits, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(lastSync(), 700u);
    EXPECT_EQ(hits.horizontalScrollBar()->value(), 0) << "Ctrl+End scrolled sideways";
    QTest::keyClick(&hits, Qt::Key_Home);
    EXPECT_EQ(hits.GetSelectedRow(), 0);
    EXPECT_EQ(lastSync(), 2u);
    ASSERT_EQ(syncs.size(), 5u);
    for (const auto& sync : syncs) {
        EXPECT_EQ(sync.origin, &hits);
        EXPECT_EQ(sync.option, 1);  // a hit is shown at the trigger position, as on a click
    }
    QTest::keyClick(&hits, Qt::Key_Up);  // at the first row: nothing moves
    EXPECT_EQ(syncs.size(), 5u);
    c->Disconnect();
}

// With QVX_SCREENSHOT_DIR set, both panes filled with data and the export dialog
// are saved there as PNGs for a look at their layout.
TEST_F(PaneTest, RenderForALook) {
    const QString outDir = qEnvironmentVariable("QVX_SCREENSHOT_DIR");
    if (outDir.isEmpty()) GTEST_SKIP() << "QVX_SCREENSHOT_DIR not set";
    OpenStored(5000);
    viewModel.GetSession()->GetDisplayTriggerList() = {{2, 0}, {1234, 1'234'567}, {4321, 250}, {99999, 0}};

    CAnalogDataListPane data(viewModel, nullptr);
    data.resize(560, 260);
    data.show();
    QApplication::processEvents();
    data.GetList()->MoveToRow(3);
    data.GetHorizontalBar()->setValue(40);
    QApplication::processEvents();
    EXPECT_TRUE(data.grab().save(outDir + "/datalist_pane.png"));

    CQVxAnalogDisplayTriggerListPane triggers(viewModel, nullptr);
    triggers.resize(820, 200);
    triggers.show();
    triggers.OnTraceTimer();
    viewModel.SyncViewsToDataIndex(1234, nullptr, 0);
    QApplication::processEvents();
    EXPECT_TRUE(triggers.grab().save(outDir + "/trigger_list_pane.png"));

    CQVxCsvExportSettingsDlg dialog(1, 5000, nullptr);
    dialog.show();
    QApplication::processEvents();
    EXPECT_TRUE(dialog.grab().save(outDir + "/csv_export_dialog.png"));
    CQVxCsvExportSettingsDlg marked(1, 5000, nullptr, {std::pair{450'000, 1'200'000}, std::pair{0, 499'900}},
                                    CQVxCsvExportSettingsDlg::Range::kMarkers);
    marked.GetHdf5Button()->setChecked(true);
    marked.show();
    QApplication::processEvents();
    EXPECT_TRUE(marked.grab().save(outDir + "/hdf5_export_dialog.png"));

    CountingSource source;
    data.SetSource(&source);
    data.GetVerticalBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    QApplication::processEvents();
    EXPECT_TRUE(data.grab().save(outDir + "/datalist_pane_end.png"));
}

}  // namespace
