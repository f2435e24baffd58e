// Names are bytes. These turn stored bytes into text for the screen and typed
// text back into bytes, without losing any byte on the way in.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

// UTF-8 where the bytes are valid UTF-8, otherwise Latin-1, in which every byte
// shows as one character.
QString NameToText(std::string_view bytes);
// A typed name in the host's file-name encoding.
std::string TextToName(const QString& text);

// A name or path as the file layer takes it: UTF-8 on Windows (the file layer
// speaks UTF-16 to the system), the local 8-bit encoding elsewhere, where the
// file system keeps names as bytes.
QByteArray HostNameBytes(const QString& text);
QString HostNameText(const QByteArray& bytes);
