// Error reports to the user: a message box captioned "Error", or standard error when headless.
#pragma once

#include <functional>
#include <string>

namespace korvalin {

void showErrorMessage(const std::string& text);

// The boxes belong to this window (an SDL_Window) while it exists, so that they open in front of
// it even when it is fullscreen; nullptr when there is none. Set by the window itself.
void setMessageBoxOwner(void* sdlWindow);

// Tests capture reports here instead; an empty function restores the default.
void setMessageSink(std::function<void(const std::string&)> sink);

enum class QuitAnswer { kSave, kDiscard, kCancel };

// A modal question with the buttons "Save", "Discard" and "Cancel". Headless there is nobody
// to answer: the text goes to standard error and the answer is "Save", so no work is lost.
QuitAnswer askSaveDiscardCancel(const std::string& caption, const std::string& text);

enum class RecoveryAnswer { kRestore, kDiscard, kNobodyToAsk };

// A modal question with the buttons "Restore" (Return) and "Discard" (Escape). Headless, or when
// the box cannot be shown, nothing is printed and the answer is kNobodyToAsk.
RecoveryAnswer askRestoreOrDiscard(const std::string& caption, const std::string& text);

}  // namespace korvalin
