// The GIF codec's error messages and the one routine that raises them. Every failure of the
// codec is an EInvalidGraphicOperation carrying one of these texts (or the read-error text).
#pragma once

#include <string>

namespace orn {

inline constexpr const char* SGIFUnknownVersion = "Неизвестная версия изображения GIF";
inline constexpr const char* SGIFEncodeError = "Ошибка кодировки данных в формат GIF";
inline constexpr const char* SGIFBadData = "Неверные данные в формате GIF";
inline constexpr const char* SGIFCodeSizeRange =
    "Размер кода GIF не принадлежит диапазону от 2 до 9";
inline constexpr const char* SGIFColorCount = "Неверное число цветов; должно быть степенью числа 2";
// Formatted with the label as two upper-case hexadecimal digits.
inline constexpr const char* SGIFUnknownExtension = "Неопределенное расширение GIF: %.2x";
inline constexpr const char* SGIFNoData = "Нет данных для записи в формате GIF";
inline constexpr const char* SGIFResizeImage = "Невозможно изменить размер изображения GIF";
inline constexpr const char* SGIFImageDescription = "CompuServe GIF Image";
// Damaged data reported with the platform's read-error text.
inline constexpr const char* SGIFReadError = "Stream read error";

// Raises EInvalidGraphicOperation with Message.
[[noreturn]] void RaiseGIFFailure(const std::string& Message);

// The unknown-extension message for Label ("... GIF: 2C").
std::string UnknownExtensionMessage(unsigned Label);

}  // namespace orn
