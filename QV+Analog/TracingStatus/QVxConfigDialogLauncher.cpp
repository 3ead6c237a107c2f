#include "QV+Analog/TracingStatus/QVxConfigDialogLauncher.h"

#include <spdlog/spdlog.h>

#if QVX_HAVE_CONFIG_ANALOG_DLG
#include "QV+Analog/ConfigAnalog/CQVxConfigAnalogDlg.h"

#include <QDialog>
#endif

bool QVxRunConfigAnalogDialog(QWidget* parent, qvx::AnalogSettings* settings, bool readOnly) {
#if QVX_HAVE_CONFIG_ANALOG_DLG
    CQVxConfigAnalogDlg dialog(parent, settings, readOnly);
    return dialog.exec() == QDialog::Accepted;
#else
    (void)parent;
    (void)settings;
    (void)readOnly;
    spdlog::warn("The collection settings dialog is not part of this build.");
    return false;
#endif
}
