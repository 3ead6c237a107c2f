#pragma once
// The program's interaction: every long task of the core runs behind the GUI
// library's progress dialog. Compiled into the program (header only), which
// installs it with qvx::Interaction::Init right after attaching its dispatcher.

#include "QVxCore/Presenters/Interaction.h"
#include "QVxWinGUICommon/Common/CQVxProgressDlg.h"

class GuiInteraction : public qvx::IInteraction {
public:
    bool Run(qvx::InteractionRunBehaviors behaviors, const qvx::InteractionTask& task) override {
        return CQVxProgressDlg::Run(behaviors, task, nullptr);
    }
};
