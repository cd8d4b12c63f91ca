#include "app/program.h"

#include "net/dialog_zero.h"

namespace vesmera {

VesmeraProgram::VesmeraProgram(char decimalSeparator) {
    ConfigureComPort1(comPort_);
    form1_ = std::make_unique<TForm1>(MainWindowServices{settings_, comPort_, comPortSetup_,
                                                         sleeper_, tcpClient_, decimalSeparator});
    TForm1& form1 = *form1_;
    TForm2Deps deps;
    deps.settings = &form1.Settings();
    deps.store = &settings_.Store();
    deps.terminalList = &dialogList_;
    deps.applyStep = [&form1] { form1.FormCreate(); };
    deps.zeroAction = [this, &form1] {
        DialogZeroAction(form1.Settings().networkMode, tcpClient_, channels_, form1.Settings(),
                         form1.SelectedTabText(), [&form1] { form1.Button1Click(); });
    };
    form2_ = std::make_unique<TForm2>(std::move(deps), form1_.get());
    form1.SetSettingsDialog([this] { form2_->exec(); });
    form1.AboutWindow();
}

VesmeraProgram::~VesmeraProgram() {
    // The dialog is a child of the main window; it goes first, on its own.
    form2_.reset();
    form1_.reset();
}

} // namespace vesmera
