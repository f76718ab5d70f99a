// The metadata panel in the shell: panel, panel set, panel click, panel choose, panel mode,
// and the about box. The panel opens with the first of them and follows the session from then
// on (documents opened and closed, the selection, the library).
#include "PanelCommands.h"
#include "ShellSession.h"

namespace {

int Usage() {
    return Fail(kExitInput, "panel [set ROW VALUE | click WIDGET | choose PACKAGE | mode document|story|assignment]");
}

int Result(int code, const std::string& error) {
    return code == 0 ? kExitOK : Fail(kExitInput, "panel: " + error);
}

} // namespace

void AddShellPanelCommands(ShellRegistry& registry) {
    registry.Add({"panel",
                  "panel [set ROW VALUE | click WIDGET | choose PACKAGE | mode document|story|assignment]",
                  "The metadata panel: show it, or work it as a person would (the panel is shown after each)",
                  [](ShellSession&, const ShellArgs& args, std::ostream& out) -> int {
                      std::string error;
                      int code = 0;
                      if (args.empty()) {
                          code = PanelCommands::Show(out) == 0 ? 0 : 1;
                          return code == 0 ? kExitOK : Fail(kExitInput, "panel: the panel could not be opened");
                      }
                      const std::string& what = args[0];
                      if (what == "set" && args.size() == 3)
                          code = PanelCommands::Set(args[1], args[2], &error);
                      else if (what == "click" && args.size() == 2)
                          code = PanelCommands::Click(args[1], &error);
                      else if (what == "choose" && args.size() == 2)
                          code = PanelCommands::Choose(args[1], &error);
                      else if (what == "mode" && args.size() == 2)
                          code = PanelCommands::Mode(args[1], &error);
                      else
                          return Usage();
                      if (code != 0) return Result(code, error);
                      PanelCommands::Show(out);
                      return kExitOK;
                  }});
    registry.Add({"about", "about", "The plug-in's about box",
                  [](ShellSession&, const ShellArgs&, std::ostream&) -> int { return PanelCommands::About(); }});
}
