#pragma once
// Fakes for the seams of core/ui.h and an App wired to them in a temporary application folder, for
// driving the command logic without a display.

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/app.h"
#include "support/temp_dir.h"

namespace varnex::test {

class FakeControls : public Controls {
  public:
    std::map<Ctl, std::string> texts;
    std::map<Ctl, bool> on;

    std::string text(Ctl c) const override { return texts.contains(c) ? texts.at(c) : std::string(); }
    void set_text(Ctl c, std::string_view t) override { texts[c] = std::string(t); }
    bool enabled(Ctl c) const override { return !on.contains(c) || on.at(c); }
    void set_enabled(Ctl c, bool v) override { on[c] = v; }
    void refresh() override {}
    std::vector<std::string> notes;  ///< every status note, in order
    void status(std::string_view t) override { notes.emplace_back(t); }
};

class FakeBoxes : public MessageBoxes {
  public:
    std::vector<std::string> shown;  ///< every text shown, in order (questions too)
    std::deque<bool> answers;        ///< answers to the next questions; Yes when empty
    void message(std::string_view t) override { shown.emplace_back(t); }
    bool ask_yes_no(std::string_view t) override;
};

class FakeDialog : public FileDialog {
  public:
    std::deque<std::optional<std::string>> next;  ///< the next confirmed paths; nullopt = cancel
    std::vector<std::string> init_dirs;           ///< InitDir at each show
    std::vector<std::string> offered;             ///< FileName at each show: the name proposed
    int opens = 0, saves = 0;
    bool ShowOpen() override { return ++opens, show(); }
    bool ShowSave() override { return ++saves, show(); }

  private:
    bool show();
};

class FakeClock : public Clock {
  public:
    float now = 100.0f;
    float step = 0.25f;  ///< added after each reading
    float seconds_since_midnight() override { return std::exchange(now, now + step); }
};

/// An App wired to fakes, with the application folder in a temporary folder, the message table filled
/// and the controls at their designed texts (txtEps "0.5", txtIndex "1").
struct TestApp {
    TempDir dir;
    FakeControls ui;
    FakeBoxes box;
    FakeDialog cd;
    FakeClock clock;
    App app;
    CwdGuard cwd;  // the working directory goes back before the folder is removed
    TestApp();
    /// Runs `command` (cmdIter_Click, ...) and returns the messages it showed.
    std::vector<std::string> messages_of(void (*command)(App&)) {
        box.shown.clear();
        command(app);
        return box.shown;
    }
    /// The same for a command that shows a file dialog (Open_Click, ...), which is answered with `path`.
    std::vector<std::string> with_file(void (*command)(App&), const std::optional<std::string>& path) {
        cd.next.push_back(path);
        return messages_of(command);
    }
};

/// Every a(i,j) and b(i) text of the system layout, blank-separated, rows separated by " | ".
std::string system_texts(const App& app);

/// Reads a whole file as bytes ("" when missing).
std::string read_file(const std::string& path);
/// The shared test matrices' folder, or "" when it is absent (tests then skip).
std::string testdata_dir();
/// The path of the shared test matrix `name` (e.g. "west0067.txt"), or "" when it is absent.
std::string testdata(const std::string& name);

}  // namespace varnex::test
