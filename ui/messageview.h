#pragma once

class QPlainTextEdit;

namespace ravik {

class MessageText;

// Shows a MessageText in a plain-text widget: replacements reset the widget, appends add only
// the new piece, so a talkative controller costs the size of what it says.
void bindMessageView(MessageText& text, QPlainTextEdit& view);

} // namespace ravik
