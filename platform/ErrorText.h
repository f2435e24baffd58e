// The words for an error number, the same on every system: the texts Linux's
// C library gives, which is what the file layer's messages are made of.
// Internal to the file layer.
#pragma once

#include <string>

std::string ErrorNumberText(int error);
