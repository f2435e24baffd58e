#include "platform/ErrorText.h"

#include <cstring>

std::string ErrorNumberText(int error) {
    return std::strerror(error);
}
