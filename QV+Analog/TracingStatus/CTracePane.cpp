#include "QV+Analog/TracingStatus/CTracePane.h"

#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QScrollArea>

CTracePane::CTracePane(QVxAnalogViewModel& viewModel, QWidget* parent)
    : QDockWidget(QVxWinGUI::LoadStringW(kTitleStringId), parent) {
    setObjectName(QStringLiteral("CTracePane"));
    // The form keeps its natural height; a short pane scrolls instead of squeezing it.
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_dialog = new CQVxAnalogTracingStatusDlg(viewModel, scroll);
    scroll->setWidget(m_dialog);
    setWidget(scroll);
}
