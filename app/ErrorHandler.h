#pragma once
// The default error handler around the install button's handler and the timer's tick: an
// error ends the handler, its message is shown in an error box captioned with the
// application title, and nothing ever crosses Qt's event loop.

#include <functional>

class Dialogs;

void ReportErrors(Dialogs& dialogs, const std::function<void()>& handler);
