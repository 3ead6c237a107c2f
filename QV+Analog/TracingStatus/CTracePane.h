#pragma once
// The left docking pane "トレース実行" holding the tracing status form. GUI thread only.

#include <QDockWidget>

class QVxAnalogViewModel;
class CQVxAnalogTracingStatusDlg;

class CTracePane : public QDockWidget {
    Q_OBJECT

public:
    CTracePane(QVxAnalogViewModel& viewModel, QWidget* parent);
    CQVxAnalogTracingStatusDlg* GetDialog() { return m_dialog; }

private:
    CQVxAnalogTracingStatusDlg* m_dialog;
};
