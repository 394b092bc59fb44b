#pragma once
// The default error handler around the install button's handler and the timer's tick: an
// error ends the handler, its message is shown in an error box captioned with the
// application title, and nothing ever crosses Qt's event loop.

#include <functional>
#include <string>
#include <string_view>

class Dialogs;

void ReportErrors(Dialogs& dialogs, const std::function<void()>& handler);

// The text the error box shows: the message, with a full stop appended when its last
// character sorts after "." (so "... 不能打开" gains one, "... failed." does not).
std::string ErrorBoxText(std::string_view message);
