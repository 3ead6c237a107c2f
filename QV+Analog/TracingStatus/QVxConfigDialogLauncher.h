#pragma once
// Opens the collection settings dialog on `settings` (edited in place; the caller
// passes a copy). True when the user pressed OK. GUI thread only.

namespace qvx {
class AnalogSettings;
}
class QWidget;

bool QVxRunConfigAnalogDialog(QWidget* parent, qvx::AnalogSettings* settings, bool readOnly);
