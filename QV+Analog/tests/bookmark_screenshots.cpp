// Renders the main window with five bookmarks, the third selected, and the bookmarks
// pane in front, into OUTDIR/bookmarks-<lang>.png, for a look at the mark flags and
// the pane. The session is opened as the program opens it; the bookmarks are added
// through the window's own model at fractions of the visible time span.
// Usage: qvplusanalog-bookmark-screenshots OUTDIR SESSION.qvxa [--lang ja|en]
// (scripts/screenshot-bookmarks.sh makes the session and runs this under Xvfb)

#include "QV+Analog/DataList/CQVxBookmarksPane.h"
#include "QV+Analog/MainFrm.h"
#include "QV+Analog/QVxAnalogScopeApp.h"
#include "QV+Analog/QVxAppPrompts.h"
#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {

void Wait(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

struct Mark {
    double fraction;  // of the visible span
    const char* nameJa;
    const char* nameEn;
    const char* noteJa;
    const char* noteEn;
    qvx::Color color;
};

// No modal window may wait for an answer here: messages go to stderr, questions are
// answered with "no", "discard" and "keep" (the session is never changed on disk).
class PrintedPrompts : public IQVxAppPrompts {
public:
    void ShowMessage(QWidget*, const QString& text) override { Print(text); }
    bool AskYesNo(QWidget*, const QString& text) override {
        Print(text);
        return false;
    }
    QVxSaveChoice AskSaveDiscardCancel(QWidget*, const QString&) override { return QVxSaveChoice::kDiscard; }
    QVxRecoveryAnswer AskRecovery(QWidget*, const std::vector<qvx::OrphanedRecording>&) override {
        return {};
    }
    QString GetOpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString GetExistingDirectory(QWidget*, const QString&, const QString&) override { return {}; }

private:
    static void Print(const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: qvplusanalog-bookmark-screenshots OUTDIR SESSION.qvxa [--lang ja|en]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const bool english = argc > 4 && std::string_view(argv[4]) == "en";
    QDir().mkpath(out);
    PrintedPrompts prompts;
    QVxAppPrompts::Set(&prompts);
    CQVxAnalogScopeApp::Options options;
    options.arguments = {QStringLiteral("--lang"), english ? QStringLiteral("en") : QStringLiteral("ja"),
                         QString::fromLocal8Bit(argv[2])};
    options.settingsFile = QDir(out).filePath(QStringLiteral("frame.ini"));
    options.familyProtocol = false;
    CQVxAnalogScopeApp app(options);
    if (!app.InitInstance()) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    CMainFrame& frame = *app.GetMainFrame();
    frame.resize(1400, 900);
    Wait(1500);
    QVxAnalogViewModel& viewModel = app.GetViewModel();
    auto* graph = viewModel.GetOscilloGraphViewModel();
    if (!graph || !viewModel.GetBookmarks().LastTime()) {
        std::fprintf(stderr, "the session has no recording\n");
        return 1;
    }
    // The visible span, or the whole recording when it is shorter.
    const std::int64_t span =
        std::min(graph->GetWritingRenderData().ViewportWidthTime(), *viewModel.GetBookmarks().LastTime());
    const Mark marks[] = {
        {0.12, "B1", "B1", "", "", {}},
        {0.30, "起動", "Start-up", "ポンプ起動", "Pump starts", {220, 50, 47}},
        {0.48, "ピーク", "Peak", "最大電流", "Highest current", {38, 139, 210}},
        {0.66, "B4", "B4", "", "", {}},
        {0.85, "停止", "Stop", "確認用", "For review", {181, 137, 0}},
    };
    QVxAnalogBookmarks& bookmarks = viewModel.GetBookmarks();
    for (const Mark& m : marks) {
        std::int32_t id = 0;
        if (bookmarks.Add(static_cast<std::int64_t>(m.fraction * static_cast<double>(span)),
                          english ? m.nameEn : m.nameJa, english ? m.noteEn : m.noteJa, &id))
            return 1;
        if (m.color.IsSet()) bookmarks.SetColor(id, m.color);
    }
    bookmarks.Select(3);
    frame.GetBookmarksPane()->raise();
    Wait(800);
    const QString path = QDir(out).filePath(QStringLiteral("bookmarks-%1.png").arg(english ? "en" : "ja"));
    if (!frame.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    frame.close();  // the closing question is answered "discard": the session stays as it was
    QVxAppPrompts::Set(nullptr);
    return 0;
}
