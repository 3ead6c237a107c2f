#include "QV+Analog/TracingStatus/CTracePane.h"

#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

CTracePane::CTracePane(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QDockWidget(QVxWinGUI::LoadStringW(kGuiStringTrace), parent) {
    setObjectName(QStringLiteral("CTracePane"));
    // The form scrolls its fields itself and keeps its header (connect, start/stop) in view.
    m_dialog = new CQVxAnalogTracingStatusDlg(viewModel, this);
    setWidget(m_dialog);
}
