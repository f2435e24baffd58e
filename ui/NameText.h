// Names are bytes. These turn stored bytes into text for the screen and typed
// text back into bytes, without losing any byte on the way in.
#pragma once

#include <QString>
#include <string>
#include <string_view>

// UTF-8 where the bytes are valid UTF-8, otherwise Latin-1, in which every byte
// shows as one character.
QString NameToText(std::string_view bytes);
// A typed name in the host's file-name encoding.
std::string TextToName(const QString& text);
