#pragma once
// Typed value lists (an open array of variant records) and the error blocks built from them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "log/messages.h"

namespace kv::logging {

enum TVarType : uint8_t {
  vtInteger = 0,
  vtBoolean,
  vtChar,
  vtExtended,
  vtString,
  vtPointer,
  vtPChar,
  vtObject,
  vtClass,
  vtWideChar,
  vtPWideChar,
  vtAnsiString,
  vtCurrency,
  vtVariant,
  vtInterface,
  vtWideString,
  vtInt64,
};

// One value with its type tag. Values are copies; they are freed with the record.
struct TVarRec {
  uint8_t VType = vtInteger;
  int64_t VInt = 0;       // integer, boolean, 64-bit integer; currency in ten-thousandths
  double VExtended = 0;   // extended
  std::string VText = {}; // characters and strings; class name of an object or class; variant text
  uint64_t VAddress = 0;  // pointer; object (0 = none); interface

  static TVarRec Integer(int32_t v) { return {.VType = vtInteger, .VInt = v}; }
  static TVarRec Int64(int64_t v) { return {.VType = vtInt64, .VInt = v}; }
  static TVarRec Boolean(bool v) { return {.VType = vtBoolean, .VInt = v}; }
  static TVarRec Extended(double v) { return {.VType = vtExtended, .VExtended = v}; }
  static TVarRec Currency(int64_t ten_thousandths) { return {.VType = vtCurrency, .VInt = ten_thousandths}; }
  // vtChar, vtString, vtPChar, vtWideChar, vtPWideChar, vtAnsiString, vtWideString, vtVariant, vtClass
  static TVarRec Text(uint8_t type, std::string text) { return {.VType = type, .VText = std::move(text)}; }
  static TVarRec Pointer(const void *p) { return {.VType = vtPointer, .VAddress = AddressOf(p)}; }
  static TVarRec Object(const void *p, std::string class_name) {
    return {.VType = vtObject, .VText = std::move(class_name), .VAddress = AddressOf(p)};
  }
  static TVarRec Interface(const void *p) { return {.VType = vtInterface, .VAddress = AddressOf(p)}; }

private:
  static uint64_t AddressOf(const void *p) { return reinterpret_cast<uintptr_t>(p); }
};
using TConstArray = std::vector<TVarRec>;

// Label (14 characters) + " " + the value as text.
std::string FormatVarRec(const TVarRec &value);
// The text without its first 19 characters.
std::string StripAddressPrefix(const std::string &text);
// The value part of a FormatVarRec line, shortened for a one-line list.
std::string ShortenValueText(const std::string &text, uint8_t type);
// One FormatVarRec line per value.
std::vector<std::string> ConstArrayToLines(const TConstArray &values);
// Style 1: "(" + the values joined by "; " + ");"; other styles: the values run together.
std::string ConstArrayToText(const TConstArray &values, int style);

// An error report for the parser (request kind 2).
struct TFLErrorRequest : MessageObject {
  std::string Message;
  int32_t Code = 0;
  bool HasValues = false;
  std::string Location;
  TConstArray Values;
};

// A value list for the parser (request kind 6).
struct TFLValueRequest : MessageObject {
  TConstArray Values;
  uint8_t Style = 1;
};

// How error blocks look.
struct TFLErrorSettings {
  std::string Title;
  std::string FillChar;
  bool FillOn = false;
  std::string FillLine;     // the fill character once per character of the title
  std::string LongFillLine; // the fill line repeated to at least 80 characters, at least twice
  int Style = 1;
  bool BlankLines = true; // an empty line before and after the block
  bool FillLines = false; // a fill line before and after the block

  // Keeps the first character of `c` (an empty text switches the fill off).
  void SetErrorFillChar(const std::string &c);
  void SetErrorTitle(const std::string &t);
};

// The lines of an error block (not yet numbered).
std::vector<std::string> BuildErrorBlock(const TFLErrorSettings &settings, const TFLErrorRequest &request);

} // namespace kv::logging
