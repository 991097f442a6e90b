// The settings form's decisions against a stand-in toolkit: what it asks the
// toolkit to show, how it answers clicks, keys and the close box, and where
// it puts the window. No display needed; the real windows are driven in
// dialog_test.cpp.
#include <gtest/gtest.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_window.h"
#include "platform/exception.h"
#include "settings/SettingsUnit.h"

namespace {

namespace platform = zv::platform;
using ControlKind = platform::DialogControl::Kind;
using platform::DialogEvent;
using platform::PixelRect;
using zv::settings::mrCancel;
using zv::settings::mrOk;
using zv::settings::PlaceDialog;
using zv::settings::TfrmZVSettings;

struct FakeControl {
  int id = platform::kNoControl;
  ControlKind kind = ControlKind::Frame;
  PixelRect place;
  std::string caption;
  std::optional<std::string> text;  // an edit's; nullopt: not Windows-1251
  bool enabled = true;
  bool checked = false;
};

// A toolkit that records what the form asks it to show and plays the user
// from a script: each step may change the controls, as the user does, and
// returns the event that the toolkit then reports, if any. Run is the
// DialogRunner that ShowModal is given.
class FakeWindow final {
 public:
  using Step = std::function<std::optional<DialogEvent>(FakeWindow&)>;

  bool Run(platform::DialogForm& form, const platform::DialogHandler& handle) {
    if (fail_adding) return false;
    for (std::size_t i = 0; i < form.controls.size(); ++i) {
      const platform::DialogControl& shown = form.controls[i];
      FakeControl control;
      control.id = static_cast<int>(i), control.kind = shown.kind, control.place = shown.place;
      if (shown.kind == ControlKind::Edit) {
        control.text = shown.text;
      } else {
        control.caption = shown.text;
      }
      form.controls[i].text_width = shown.kind == ControlKind::Label ? measured_width : 0;
      order.push_back(control.id);
      controls[control.id] = control;
    }
    DialogEvent open{DialogEvent::Kind::Open};
    open.width = around_width, open.height = around_height;
    open.host = host, open.work_area = work_area;
    bool done = handle(open, form);
    Show(form);
    moved_to = {form.left, form.top, 0, 0};
    shown = true;
    while (!done) {
      const DialogEvent event = WaitForEvent();
      Take(form);
      done = handle(event, form);
      if (!done) Show(form);
    }
    return true;
  }
  platform::DialogRunner Runner() {
    return [this](platform::DialogForm& form, const platform::DialogHandler& handle) {
      return Run(form, handle);
    };
  }

  FakeWindow& Then(Step step) {
    script.push_back(std::move(step));
    return *this;
  }

  // Controls by kind, for the steps and checks.
  FakeControl& Only(ControlKind kind) {
    FakeControl* found = nullptr;
    for (auto& [id, control] : controls) {
      if (control.kind == kind) {
        EXPECT_EQ(found, nullptr) << "more than one control of this kind";
        found = &control;
      }
    }
    EXPECT_NE(found, nullptr);
    return *found;
  }
  FakeControl& Button(const std::string& caption) {
    for (auto& [id, control] : controls) {
      if (control.kind == ControlKind::Button && control.caption == caption) return control;
    }
    ADD_FAILURE() << "no button " << caption;
    return controls[platform::kNoControl];
  }

  bool fail_adding = false;
  int measured_width = 0;
  std::optional<PixelRect> host;
  PixelRect work_area{0, 0, 1024, 768};
  int around_width = 335, around_height = 155;
  std::map<int, FakeControl> controls;
  std::vector<int> order;
  std::deque<Step> script;
  int texts_put_back = 0;
  PixelRect moved_to{-1, -1, 0, 0};
  bool shown = false;

 private:
  // What the form left in the description, shown; an edit's text only
  // when it differs from the edit's.
  void Show(const platform::DialogForm& form) {
    for (auto& [id, control] : controls) {
      const platform::DialogControl& wanted = form.controls[static_cast<std::size_t>(id)];
      control.enabled = wanted.enabled;
      control.checked = wanted.checked;
      control.place = wanted.place;
      if (control.kind == ControlKind::Edit && wanted.text_fits && control.text != wanted.text) {
        control.text = wanted.text;
        ++texts_put_back;
      }
    }
  }
  // The user's ticks and text, reported with an event.
  void Take(platform::DialogForm& form) const {
    for (const auto& [id, control] : controls) {
      platform::DialogControl& reported = form.controls[static_cast<std::size_t>(id)];
      reported.checked = control.checked;
      reported.text_fits = control.text.has_value();
      if (control.text) reported.text = *control.text;
    }
  }
  DialogEvent WaitForEvent() {
    while (!script.empty()) {
      const Step step = script.front();
      script.pop_front();
      if (const std::optional<DialogEvent> event = step(*this)) return *event;
    }
    ADD_FAILURE() << "the form waited for more than the script holds";
    return {DialogEvent::Kind::Close};
  }
};

const std::string kOk = "\xCE\xEA";                         // "Ок"
const std::string kClose = "\xC7\xE0\xEA\xF0\xFB\xF2\xFC";  // "Закрыть"

// User actions, each ending in the event the window reports.
DialogEvent TickBox(FakeWindow& w) {
  FakeControl& box = w.Only(ControlKind::CheckBox);
  EXPECT_TRUE(box.enabled);
  box.checked = !box.checked;
  return {DialogEvent::Kind::Click, box.id};
}
// Typing is seen by no one until the next event.
FakeWindow::Step Type(std::optional<std::string> text) {
  return [text = std::move(text)](FakeWindow& w) -> std::optional<DialogEvent> {
    w.Only(ControlKind::Edit).text = text;
    return std::nullopt;
  };
}
FakeWindow::Step Click(const std::string& caption) {
  return [caption](FakeWindow& w) {
    return DialogEvent{DialogEvent::Kind::Click, w.Button(caption).id};
  };
}
FakeWindow::Step Key(DialogEvent::Kind key, std::function<int(FakeWindow&)> focus) {
  return [key, focus = std::move(focus)](FakeWindow& w) { return DialogEvent{key, focus(w)}; };
}
DialogEvent CloseBox(FakeWindow& /*w*/) { return {DialogEvent::Kind::Close}; }

// The form as Config prepares it.
TfrmZVSettings Form(bool run, const std::string& path) {
  TfrmZVSettings form;
  form.cbRunZV.Checked = run;
  form.edPathZV.Text = path;
  form.edPathZV.Enabled = form.SpeedButton1.Enabled = run;
  return form;
}

TEST(SettingsForm, AddsItsComponentsInTabOrderWithTheirPlacesAndTexts) {
  TfrmZVSettings form = Form(false, "C:\\zv.exe");
  FakeWindow window;
  window.measured_width = 100;  // narrower than the design width
  window.Then(CloseBox);
  EXPECT_EQ(form.ShowModal(window.Runner()), mrCancel);

  std::vector<ControlKind> kinds;
  for (const int id : window.order) kinds.push_back(window.controls[id].kind);
  // The label just before its edit; the frame first, beneath the rest.
  const std::vector<ControlKind> expected = {
      ControlKind::Frame,      ControlKind::CheckBox, ControlKind::Label, ControlKind::Edit,
      ControlKind::FlatButton, ControlKind::Button,   ControlKind::Button};
  EXPECT_EQ(kinds, expected);
  const FakeControl& label = window.Only(ControlKind::Label);
  EXPECT_EQ(label.caption, form.edPathZV.EditLabel.Caption);
  EXPECT_EQ(label.place.left, 16);
  EXPECT_EQ(label.place.top, 40);
  EXPECT_EQ(label.place.width, 134);
  EXPECT_EQ(window.Only(ControlKind::CheckBox).caption, form.cbRunZV.Caption);
  EXPECT_EQ(window.Only(ControlKind::Edit).text, "C:\\zv.exe");
  EXPECT_EQ(window.Only(ControlKind::FlatButton).caption, "...");
  EXPECT_EQ(window.Button(kOk).place.left, 152);
  EXPECT_EQ(window.Button(kClose).place.left, 236);
  EXPECT_TRUE(window.shown);
  EXPECT_EQ(window.texts_put_back, 0);
}

TEST(SettingsForm, TheLabelGrowsToItsMeasuredTextButNeverShrinks) {
  const std::pair<int, int> widths[] = {{0, 134}, {133, 134}, {134, 134}, {171, 171}};
  for (const auto& [measured, expected] : widths) {
    TfrmZVSettings form;
    FakeWindow window;
    window.measured_width = measured;
    window.Then(CloseBox);
    form.ShowModal(window.Runner());
    EXPECT_EQ(window.Only(ControlKind::Label).place.width, expected) << measured;
  }
}

TEST(SettingsForm, ThePathItsLabelAndBrowseAreUsableOnlyWhileTheBoxIsTicked) {
  TfrmZVSettings form = Form(false, "");
  FakeWindow window;
  std::vector<bool> usable;
  const auto look = [&](FakeWindow& w) {
    const bool edit = w.Only(ControlKind::Edit).enabled;
    EXPECT_EQ(w.Only(ControlKind::Label).enabled, edit);
    EXPECT_EQ(w.Only(ControlKind::FlatButton).enabled, edit);
    usable.push_back(edit);
  };
  window
      .Then([&](FakeWindow& w) {
        look(w);
        return TickBox(w);
      })
      .Then([&](FakeWindow& w) {
        look(w);
        return TickBox(w);
      })
      .Then([&](FakeWindow& w) {
        look(w);
        return CloseBox(w);
      });
  EXPECT_EQ(form.ShowModal(window.Runner()), mrCancel);
  EXPECT_EQ(usable, (std::vector<bool>{false, true, false}));
  // The check box and both buttons stay usable throughout.
  EXPECT_TRUE(window.Only(ControlKind::CheckBox).enabled);
  EXPECT_TRUE(window.Button(kOk).enabled && window.Button(kClose).enabled);
}

TEST(SettingsForm, OkTakesTheTicksAndTextTheWindowShowsAtTheClick) {
  TfrmZVSettings form = Form(true, "/old");
  FakeWindow window;
  window.Then(Type("/opt/zv")).Then(TickBox).Then(Click(kOk));
  EXPECT_EQ(form.ShowModal(window.Runner()), mrOk);
  EXPECT_FALSE(form.cbRunZV.Checked);
  EXPECT_EQ(form.edPathZV.Text, "/opt/zv");
  EXPECT_TRUE(form.edPathZV.TextFits);
  EXPECT_FALSE(form.edPathZV.Enabled);
  // The text was the edit's own: never put back, so the caret stayed.
  EXPECT_EQ(window.texts_put_back, 0);
}

TEST(SettingsForm, ATextOutsideWindows1251StaysAsTypedAndIsMarked) {
  TfrmZVSettings form = Form(true, "/old");
  FakeWindow window;
  window.Then(Type(std::nullopt))
      .Then(TickBox)
      .Then([](FakeWindow& w) {
        // Still what the user typed: nothing was put over it.
        EXPECT_EQ(w.Only(ControlKind::Edit).text, std::nullopt);
        return TickBox(w);
      })
      .Then(Click(kOk));
  EXPECT_EQ(form.ShowModal(window.Runner()), mrOk);
  EXPECT_FALSE(form.edPathZV.TextFits);
  EXPECT_EQ(form.edPathZV.Text, "/old");  // the last text that could be held
  EXPECT_EQ(window.texts_put_back, 0);
}

TEST(SettingsForm, CloseBoxAndCloseButtonCancel) {
  for (const FakeWindow::Step& dismiss : {FakeWindow::Step(CloseBox), Click(kClose)}) {
    TfrmZVSettings form = Form(false, "/old");
    FakeWindow window;
    window.Then(TickBox).Then(dismiss);
    EXPECT_EQ(form.ShowModal(window.Runner()), mrCancel);
    EXPECT_TRUE(window.script.empty());
  }
}

TEST(SettingsForm, EnterClicksTheFocusedPushButtonAndNothingElseAnswersAKey) {
  const auto focus_on = [](ControlKind kind) {
    return [kind](FakeWindow& w) { return w.Only(kind).id; };
  };
  const auto nowhere = [](FakeWindow& /*w*/) { return platform::kNoControl; };
  const auto ok = [](FakeWindow& w) { return w.Button(kOk).id; };
  const auto close = [](FakeWindow& w) { return w.Button(kClose).id; };

  // Keys that change nothing, then Enter on OK: the dialog is still open
  // after each of them and takes the user's text on OK.
  TfrmZVSettings form = Form(true, "/old");
  FakeWindow window;
  window.Then(Type("/typed"))
      .Then(Key(DialogEvent::Kind::Enter, focus_on(ControlKind::Edit)))
      .Then(Key(DialogEvent::Kind::Enter, focus_on(ControlKind::CheckBox)))
      .Then(Key(DialogEvent::Kind::Enter, nowhere))
      .Then(Key(DialogEvent::Kind::Escape, ok))
      .Then(Key(DialogEvent::Kind::Escape, close))
      .Then(Key(DialogEvent::Kind::Escape, nowhere))
      .Then(Key(DialogEvent::Kind::Enter, ok));
  EXPECT_EQ(form.ShowModal(window.Runner()), mrOk);
  EXPECT_TRUE(window.script.empty());
  EXPECT_EQ(form.edPathZV.Text, "/typed");
  EXPECT_TRUE(form.cbRunZV.Checked);

  TfrmZVSettings closing = Form(true, "/old");
  FakeWindow closed;
  closed.Then(Key(DialogEvent::Kind::Enter, close));
  EXPECT_EQ(closing.ShowModal(closed.Runner()), mrCancel);
}

TEST(SettingsForm, AWindowThatCannotCreateItsControlsIsNoDisplay) {
  TfrmZVSettings form;
  FakeWindow window;
  window.fail_adding = true;
  try {
    form.ShowModal(window.Runner());
    ADD_FAILURE() << "ShowModal returned without controls";
  } catch (const zv::Exception& error) {
    EXPECT_STREQ(error.what(), "Cannot show the settings dialog: no display is available");
  }
  EXPECT_FALSE(window.shown);
}

// A window that goes away without an answer (the host's loop ending it) is
// a cancel, and nothing the form holds changes.
TEST(SettingsForm, AToolkitThatEndsWithoutAnAnswerCancels) {
  TfrmZVSettings form = Form(true, "/old");
  const auto ends_at_once = [](platform::DialogForm& shown, const platform::DialogHandler& handle) {
    handle(DialogEvent{DialogEvent::Kind::Open}, shown);
    return true;
  };
  EXPECT_EQ(form.ShowModal(ends_at_once), mrCancel);
  EXPECT_TRUE(form.cbRunZV.Checked);
  EXPECT_EQ(form.edPathZV.Text, "/old");
}

TEST(SettingsForm, MovesTheWindowWherePlaceDialogSaysBeforeShowingIt) {
  TfrmZVSettings form;
  FakeWindow window;
  window.host = PixelRect{100, 50, 600, 400};
  window.Then([](FakeWindow& w) {
    EXPECT_TRUE(w.shown);
    return CloseBox(w);
  });
  form.ShowModal(window.Runner());
  EXPECT_EQ(window.moved_to.left, 100 + (600 - 335) / 2);
  EXPECT_EQ(window.moved_to.top, 50 + (400 - 155) / 2);
}

// Placement: centred over the host's window, else the work area, and kept
// on the work area, whose origin need not be the screen's.
TEST(PlaceDialog, CentresOverTheHostOrTheWorkAreaAndKeepsTheWindowOnTheWorkArea) {
  const PixelRect area{0, 30, 1024, 738};  // a task bar at the top
  struct Case {
    const char* what = nullptr;
    std::optional<PixelRect> host;
    int width = 0, height = 0;
    int left = 0, top = 0;
  };
  const Case cases[] = {
      {"no host: the work area's middle", std::nullopt, 335, 155, 344, 30 + 291},
      {"host on screen", PixelRect{100, 50, 600, 400}, 335, 155, 232, 172},
      {"host smaller than the window", PixelRect{400, 300, 100, 60}, 335, 155, 283, 253},
      {"host off the left and top", PixelRect{-2000, -1500, 600, 400}, 335, 155, 0, 30},
      {"host off the right and bottom", PixelRect{1500, 1200, 600, 400}, 335, 155, 689, 613},
      {"host half off the right edge", PixelRect{800, 100, 400, 300}, 335, 155, 689, 172},
      {"window wider and taller than the area", std::nullopt, 1400, 900, 0, 30},
      {"larger window over a host", PixelRect{100, 50, 600, 400}, 1400, 900, 0, 30},
      {"window exactly the area", std::nullopt, 1024, 738, 0, 30},
  };
  for (const Case& c : cases) {
    const PixelRect placed = PlaceDialog(c.host, area, c.width, c.height);
    EXPECT_EQ(placed.left, c.left) << c.what;
    EXPECT_EQ(placed.top, c.top) << c.what;
    EXPECT_EQ(placed.width, c.width) << c.what;
    EXPECT_EQ(placed.height, c.height) << c.what;
  }
  // A work area away from the origin (a second monitor on the left).
  const PixelRect left_screen{-1280, 0, 1280, 1024};
  const PixelRect placed = PlaceDialog(PixelRect{0, 0, 800, 600}, left_screen, 335, 155);
  EXPECT_EQ(placed.left, -335);
  EXPECT_EQ(placed.top, 222);
}

}  // namespace
