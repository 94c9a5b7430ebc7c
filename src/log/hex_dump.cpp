// COutputLogSystem::HexDump: a block of records showing bytes as hex and as
// characters.
#include <string>

#include "comrt/result_codes.h"
#include "log/ansi_text.h"
#include "log/output_log_system.h"
#include "log/readable_memory.h"
#include "log/wide_format.h"

namespace opLogSys {
namespace {

constexpr char16_t kOpeningLine[] = u"\u52B5";
constexpr char16_t kLinePrefix[] = u"\u5294";
constexpr char16_t kClosingLine[] = u"\u52B7";
constexpr DWORD kMostBytesPerLine = 64;

// The prefix followed by `format` filled with `text`, cut as every formatted
// text is.
std::u16string Prefixed(const char16_t* format, const char16_t* text) {
  char16_t line[kFormatBufferSize];
  const size_t length = Format(line, kFormatBufferSize, format, text);
  return kLinePrefix + std::u16string(line, length);
}

std::u16string Hex2(unsigned value) {
  char16_t text[4];
  Format(text, 4, u"%02X", value);
  return text;
}

// Control bytes that would break the record's line show as blanks.
bool ShownAsBlank(unsigned char byte) {
  return byte == 0 || byte == 7 || byte == 8 || byte == 9 || byte == 10 || byte == 12 || byte == 13;
}

}  // namespace

HRESULT COutputLogSystem::HexDump(const char16_t* title, const void* data, DWORD size, DWORD lineSize) {
  try {
    BeginBlock();
    const HRESULT result = !IsReadable(data, size)                       ? E_POINTER
                           : lineSize == 0 || lineSize > kMostBytesPerLine ? E_INVALIDARG
                                                                           : S_OK;
    Write(kOpeningLine);
    Write(Prefixed(u"[%s]", title).c_str());
    if (result == E_POINTER) {
      Write(Prefixed(u"%s", u"Bad read Pointer.").c_str());
    } else if (result == E_INVALIDARG) {
      Write(Prefixed(u"%s", u"Invalided Parameter : nLineSize == 0 || nLineSize > 64").c_str());
    } else {
      Write(kLinePrefix);
      std::u16string numbers, rules;
      for (DWORD column = 0; column < lineSize; ++column) {
        if (column % 8 == 0) {
          numbers += u' ';
          rules += u' ';
        }
        numbers += Hex2(column) + u' ';
        rules += u"---";
      }
      Write(Prefixed(u"%s", numbers.c_str()).c_str());
      Write(Prefixed(u"%s", rules.c_str()).c_str());
      const unsigned char* bytes = static_cast<const unsigned char*>(data);
      for (DWORD start = 0; start < size; start += lineSize) {
        std::u16string hex;
        std::string characters;
        for (DWORD column = 0; column < lineSize; ++column) {
          if (column % 8 == 0) hex += u' ';
          if (start + column < size) {
            const unsigned char byte = bytes[start + column];
            hex += Hex2(byte) + u' ';
            characters += ShownAsBlank(byte) ? ' ' : static_cast<char>(byte);
          } else {
            hex += u"   ";
            characters += ' ';
          }
        }
        char16_t line[kFormatBufferSize];
        const size_t length =
            Format(line, kFormatBufferSize, u"%s    %s", hex.c_str(), FromAnsi(characters).c_str());
        Write((kLinePrefix + std::u16string(line, length)).c_str());
        if (size - start <= lineSize) break;  // the next start would wrap past the end
      }
    }
    Write(kClosingLine);
    EndBlock();
    return result;
  } catch (...) {
    EndBlock();
    return E_OUTOFMEMORY;
  }
}

}  // namespace opLogSys
