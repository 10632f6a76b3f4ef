// Another computer's changes shown while the main window is open, on a server ledger.
#pragma once

class Form1;

namespace ui {

// The server's announcement of another computer's change wakes the main window, which takes the
// change in and lists again keeping the user's place (Form1::relist). A timer looks as well, for
// announcements read while the connection was busy, and for the socket of a new connection.
// A connection lost meanwhile is made again by itself, without waiting for the server, and what
// was missed taken in. Nothing is done while a message box or dialog waits for an answer. A file
// ledger: nothing.
void followOtherComputers(Form1 *main);

} // namespace ui
