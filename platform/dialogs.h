#pragma once

#include <QString>

namespace platform {

// Message-box styles: a button set plus an icon.
namespace style {
inline constexpr int kOk = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;

// The two halves of a style number.
constexpr int ButtonSet(int style) {
    return style & 0x0F;
}
constexpr int Icon(int style) {
    return style & 0x70;
}
}  // namespace style

// Message-box answers: the button pressed.
namespace answer {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kRetry = 4;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace answer

// Modal message boxes and the system beep.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Shows `text` in a modal box titled `title` with the buttons and icon of `style`, the
    // first button being the default, and returns the answer. Escape or the title-bar close
    // answer Cancel where the box has Cancel and OK on an OK-only box; a Yes/No box cannot be
    // closed without an answer. Never raises.
    virtual int MsgBox(const QString& text, int style, const QString& title) = 0;
    // Rings the display's bell. Never raises.
    virtual void Beep() = 0;
};

// Screen.MousePointer values.
namespace pointer {
inline constexpr int kDefault = 0;  // each window's own pointer
inline constexpr int kHourglass = 11;
}  // namespace pointer

// Where the platform's notices go: what it finds wrong without raising an error for it (a
// malformed entry of the drive table, a drive that is not ready and why, the settings read from
// their defaults). The process entry says them on standard error; the platform prints nothing.
class Notices {
  public:
    virtual ~Notices() = default;
    // One line of its own, without the program's name.
    virtual void Say(const QString& line) = 0;
};

// The application-wide mouse pointer. An absolute state: setting kDefault removes the
// hourglass whatever was set before.
class Screen {
  public:
    virtual ~Screen() = default;
    virtual void SetMousePointer(int pointer) = 0;
};

// A screen whose pointer, as last set, can be read back: for whoever shows the hourglass while
// it waits and then puts back what was there.
class KeptPointer : public Screen {
  public:
    explicit KeptPointer(Screen& screen) : screen_(screen) {}
    void SetMousePointer(int pointer) override {
        current_ = pointer;
        screen_.SetMousePointer(pointer);
    }
    int current() const { return current_; }

  private:
    Screen& screen_;
    int current_ = pointer::kDefault;
};

}  // namespace platform
