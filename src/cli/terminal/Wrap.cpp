#include "cli/terminal/Wrap.h"

#include <algorithm>

#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

// Where a line may break: before each piece, dropping the spaces before it.
// A piece is a word, or one wide (Chinese) character.
struct Piece {
  std::wstring spaces;
  std::wstring text;
};

// One character: a single unit, or a UTF-16 surrogate pair where wchar_t
// is 16 bits wide.
size_t CharacterLength(const std::wstring& text, size_t at) {
  const wchar_t c = text[at];
  return c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() ? 2 : 1;
}

bool IsWide(const std::wstring& character) { return DisplayWidth(character) == 2; }

std::vector<Piece> Pieces(const std::wstring& text) {
  std::vector<Piece> pieces(1);
  for (size_t at = 0; at < text.size();) {
    const std::wstring character = text.substr(at, CharacterLength(text, at));
    at += character.size();
    if (character == L" ") {
      if (!pieces.back().text.empty()) pieces.emplace_back();
      pieces.back().spaces += character;
    } else if (IsWide(character)) {
      if (!pieces.back().text.empty()) pieces.emplace_back();
      pieces.back().text = character;
      pieces.emplace_back();
    } else {
      pieces.back().text += character;
    }
  }
  if (pieces.back().text.empty()) pieces.pop_back();
  return pieces;
}

}  // namespace

std::vector<std::wstring> WrapToColumns(const std::wstring& line, int columns) {
  if (columns <= 0 || DisplayWidth(line) <= columns) return {line};
  const size_t indentLength = line.find_first_not_of(L' ');
  const std::wstring indent(
      std::min<size_t>(indentLength == std::wstring::npos ? 0 : indentLength, static_cast<size_t>(columns / 2)), L' ');
  const int indentWidth = static_cast<int>(indent.size());

  std::vector<std::wstring> lines;
  std::wstring current;
  int width = 0;      // of current
  bool fresh = true;  // current holds no piece yet
  for (const Piece& piece : Pieces(line)) {
    const int pieceWidth = DisplayWidth(piece.text);
    const int spacesWidth = static_cast<int>(piece.spaces.size());
    if (!fresh && width + spacesWidth + pieceWidth > columns) {
      lines.push_back(current);
      current = indent;
      width = indentWidth;
      fresh = true;
    }
    if (!fresh || lines.empty()) {
      current += piece.spaces;
      width += spacesWidth;
    }
    // A word wider than a line goes character by character.
    for (size_t at = 0; at < piece.text.size();) {
      const std::wstring character = piece.text.substr(at, CharacterLength(piece.text, at));
      at += character.size();
      const int characterWidth = DisplayWidth(character);
      if (width + characterWidth > columns && width > indentWidth) {
        lines.push_back(current);
        current = indent;
        width = indentWidth;
      }
      current += character;
      width += characterWidth;
    }
    fresh = false;
  }
  lines.push_back(current);
  return lines;
}

}  // namespace gezhuan
