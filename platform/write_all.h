// Writing a whole buffer to a descriptor: write() may take part of it or be interrupted by a signal.
#pragma once

#include <string_view>

namespace platform {

// Writes every byte of `bytes`, resuming after partial and interrupted writes. False with errno set on the
// first failure (EIO when the descriptor takes nothing); what was written before it stays written.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace platform
