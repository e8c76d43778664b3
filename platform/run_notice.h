// Notices for the operator on standard error, such as what the run cleaned
// up from earlier runs. While a terminal shows the window, standard error is
// that same screen: the notice is then left to the logs, which also carry it.
#pragma once

#include <string>

// Writes one line (a line feed is added) to standard error unless a terminal
// shows the window.
void run_notice_line(const std::string& text);
