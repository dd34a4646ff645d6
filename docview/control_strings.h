// The control's string table: error texts by id (the engine's answers are ids of the same table), the
// message-box captions and the file dialog's filter texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace docview {

// Control errors.
inline constexpr int32_t kErrBadParameter = 15;
inline constexpr int32_t kErrUnsupported = 17;
inline constexpr int32_t kErrWindowless = 16640;
inline constexpr int32_t kErrNoFileSelected = 16641;
inline constexpr int32_t kErrInvalidProperty = 16646;
inline constexpr int32_t kErrTextTooLong = 16647;
inline constexpr int32_t kErrNoObject = 16649;
inline constexpr int32_t kErrInvalidFileName = 16651;
// Captions: member errors and the start-up error.
inline constexpr int32_t kCaptionError = 16384;
inline constexpr int32_t kCaptionCritical = 16385;
// The open-file dialog's filter: its name and its pattern.
inline constexpr int32_t kFilterName = 20481;
inline constexpr int32_t kFilterPattern = 20482;

// The text of `id`; empty for an id the table does not have.
std::string_view LoadControlString(int32_t id);
// The same cut to `maxChars` characters, as the fixed buffers the texts are loaded into hold.
std::string LoadControlString(int32_t id, size_t maxChars);

}  // namespace docview
