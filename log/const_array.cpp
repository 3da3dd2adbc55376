#include "log/const_array.h"

#include <algorithm>
#include <cstdlib>

#include "log/text_util.h"
#include "platform/datetime.h"

namespace kv::logging {

namespace {

const char *const kLabels[] = {
    "Integer     : ", "Boolean     : ", "Char        : ", "Extended    : ", "String      : ",
    "Pointer     : ", "PChar       : ", "TObject     : ", "Class       : ", "WideChar    : ",
    "PWideChar   : ", "AnsiString  : ", "Currency    : ", "Variant     : ", "Interface   : ",
    "WideString  : ", "Int64       : "};
const char *const kTypeNames[] = {"vtInteger",    "vtBoolean",    "vtChar",     "vtExtended", "vtString",
                                  "vtPointer",    "vtPChar",      "vtObject",   "vtClass",    "vtWideChar",
                                  "vtPWideChar",  "vtAnsiString", "vtCurrency", "vtVariant",  "vtInterface",
                                  "vtWideString", "vtInt64"};
constexpr size_t kTypes = sizeof kLabels / sizeof kLabels[0];

// Currency text: up to four decimals, trailing zeros dropped.
std::string CurrencyText(int64_t v) {
  const bool negative = v < 0;
  const uint64_t a = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string text = std::to_string(a / 10000);
  std::string frac = std::to_string(a % 10000 + 10000).substr(1);
  while (!frac.empty() && frac.back() == '0')
    frac.pop_back();
  if (!frac.empty()) text += platform::CurrentFormatSettings().DecimalSeparator + frac;
  return negative ? "-" + text : text;
}

std::string ValueText(const TVarRec &v) {
  switch (v.VType) {
  case vtInteger:
  case vtInt64:
    return std::to_string(v.VInt);
  case vtBoolean:
    return v.VInt ? "True" : "False";
  case vtExtended:
    return FloatToStrGeneral(v.VExtended);
  case vtPointer:
    return "^(" + HexAddress(v.VAddress) + ")";
  case vtObject:
    return v.VAddress == 0 ? "^(NIL)" : v.VText;
  case vtInterface:
    return "(Interfaced object)";
  case vtCurrency:
    return CurrencyText(v.VInt);
  case vtChar:
  case vtString:
  case vtPChar:
  case vtClass:
  case vtWideChar:
  case vtPWideChar:
  case vtAnsiString:
  case vtVariant:
  case vtWideString:
    return v.VText;
  default:
    return "[#FLvrType(" + std::to_string(v.VType) + ")]";
  }
}

} // namespace

std::string FormatVarRec(const TVarRec &value) {
  const std::string label = value.VType < kTypes ? kLabels[value.VType] : "#FLType     : ";
  try {
    return label + " " + ValueText(value);
  } catch (...) {
    return label + " [#FLvrValue(" + (value.VType < kTypes ? kTypeNames[value.VType] : "?") + ")]";
  }
}

std::string StripAddressPrefix(const std::string &text) {
  return Utf8Drop(text, 19);
}

std::string ShortenValueText(const std::string &text, uint8_t type) {
  const bool prefixed = text.find("$_H_") != std::string::npos;
  const bool object = text.find("$_H_TObject") != std::string::npos;
  std::string value = Utf8Drop(prefixed ? StripAddressPrefix(text) : text, 15);
  const bool is_text = type == vtString || type == vtPChar || type == vtWideChar || type == vtPWideChar ||
                       type == vtAnsiString || type == vtWideString;
  if (!is_text || object) {
    size_t blank = value.find(' ');
    if (blank != std::string::npos && blank + 1 < value.size()) value.erase(blank + 1);
  }
  return value;
}

std::vector<std::string> ConstArrayToLines(const TConstArray &values) {
  try {
    std::vector<std::string> lines;
    for (const auto &v : values) {
      std::string line = FormatVarRec(v);
      lines.push_back(line.find("$_H_") != std::string::npos ? StripAddressPrefix(line) : line);
    }
    return lines;
  } catch (...) {
    return {"[#FLvrConvert]"};
  }
}

std::string ConstArrayToText(const TConstArray &values, int style) {
  try {
    std::string text;
    for (size_t i = 0; i < values.size(); ++i) {
      if (style == 1 && i > 0) text += "; ";
      text += ShortenValueText(FormatVarRec(values[i]), values[i].VType);
    }
    return style == 1 ? "(" + text + ");" : text;
  } catch (...) {
    return "[#FLvrConvert]";
  }
}

void TFLErrorSettings::SetErrorFillChar(const std::string &c) {
  // One character: a longer text would make the fill lines its length times the title's.
  FillChar = Utf8Take(c, 1);
  FillOn = !c.empty();
  if (FillOn && !Title.empty()) SetErrorTitle(Title);
}

void TFLErrorSettings::SetErrorTitle(const std::string &t) {
  Title = t;
  if (FillOn && !FillChar.empty()) FillLine = Repeat(FillChar, static_cast<int64_t>(Utf8Length(t)));
  LongFillLine.clear();
  if (FillLine.empty()) return;
  // Every byte counts as a character of the fill line, so each copy brings the count closer.
  const size_t fill_chars = std::max<size_t>(Utf8Length(FillLine), 1);
  size_t chars = 0;
  int copies = 0;
  while (chars < 80 || copies < 2) {
    LongFillLine += FillLine;
    chars += fill_chars;
    ++copies;
  }
}

std::vector<std::string> BuildErrorBlock(const TFLErrorSettings &s, const TFLErrorRequest &r) {
  std::vector<std::string> out;
  if (s.BlankLines) out.push_back("");
  if (s.Style == 1 || s.Style == 2) {
    const std::string &rule = s.Style == 1 ? s.FillLine : s.LongFillLine;
    if (s.FillLines) out.push_back(rule);
    std::string a = s.Title + " ";
    if (r.Code != 0) a += "(" + std::to_string(r.Code) + ") ";
    if (s.Style == 1) {
      if (!r.Message.empty()) a += "\"" + r.Message + "\" ";
      if (!r.Location.empty()) a += " in " + r.Location;
      if (r.HasValues) a += ConstArrayToText(r.Values, 1);
      out.push_back(a);
    } else {
      if (!r.Message.empty()) a += "\"" + r.Message + "\"";
      if (!r.HasValues) {
        if (!r.Location.empty()) a += " in " + r.Location;
        out.push_back(a);
      } else {
        a += " in :";
        out.push_back(a);
        // The location stands under the message; the values follow in a bracket.
        const size_t quote = a.find('"');
        const int64_t k = quote == std::string::npos ? 0
                                                     : static_cast<int64_t>(Utf8Length(a.substr(0, quote))) +
                                                           1 - static_cast<int64_t>(Utf8Length(s.FillLine));
        std::string b = s.FillLine + Blanks(k) + r.Location;
        const std::vector<std::string> lines = ConstArrayToLines(r.Values);
        if (lines.empty()) {
          out.push_back(b + "()");
        } else {
          const int64_t indent = static_cast<int64_t>(Utf8Length(b)) + 2;
          b += "( " + lines[0];
          for (size_t i = 1; i < lines.size(); ++i) {
            out.push_back(b);
            b = Blanks(indent) + lines[i];
          }
          out.push_back(b + " );");
        }
      }
    }
    if (s.FillLines) out.push_back(rule);
  }
  if (s.BlankLines) out.push_back("");
  return out;
}

} // namespace kv::logging
