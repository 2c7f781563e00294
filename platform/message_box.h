// Error reports to the user: a message box captioned "Error", or standard error when headless.
#pragma once

#include <functional>
#include <string>

namespace korvalin {

void showErrorMessage(const std::string& text);

// Tests capture reports here instead; an empty function restores the default.
void setMessageSink(std::function<void(const std::string&)> sink);

}  // namespace korvalin
