#include "app/program.h"

#include "net/dialog_zero.h"

namespace vesmera {

TForm2Deps SettingsDialogDeps(TForm1& form1, SettingsStore& store, TerminalListFile& list,
                              ServerCallPool& calls) {
    TForm2Deps deps;
    deps.settings = &form1.Settings();
    deps.store = &store;
    deps.terminalList = &list;
    deps.applyStep = [&form1] { form1.FormCreate(); };
    deps.zeroAction = [&form1, &calls] {
        DialogZeroAction(form1.Settings().networkMode, form1.TcpClient(), calls, form1.Settings(),
                         form1.SelectedTabText(), [&form1] { form1.Button1Click(); });
    };
    return deps;
}

VesmeraProgram::VesmeraProgram(char decimalSeparator) {
    ConfigureComPort1(comPort_);
    form1_ = std::make_unique<TForm1>(MainWindowServices{settings_, comPort_, comPortSetup_,
                                                         scheduler_, tcpClient_, decimalSeparator});
    TForm1& form1 = *form1_;
    form2_ = std::make_unique<TForm2>(
        SettingsDialogDeps(form1, settings_.Store(), dialogList_, serverCalls_), form1_.get());
    form1.SetSettingsDialog([this] {
        // Two queued requests open it once.
        if (!form2_->isVisible())
            form2_->exec();
    });
    form1.AboutWindow();
}

VesmeraProgram::~VesmeraProgram() {
    // The dialog is a child of the main window; it goes first, on its own.
    form2_.reset();
    form1_.reset();
}

} // namespace vesmera
