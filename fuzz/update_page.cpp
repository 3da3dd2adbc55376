// The update information page from the web: reading its META lines into the page values, the
// three version comparisons and splitting addresses.
// Properties: every value read is at most 255 bytes and holds no double quote and no line end;
// each comparison is reflexive, antisymmetric and transitive (on the first three lines, as
// numbers when all three are numbers); an
// address that splits, put back together, splits again into the same parts and the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/web_update.h"
#include "harness.h"

using namespace kv::app;

namespace {

void CheckValue(const std::string &value) {
  if (value.size() > 255) kvfuzz::Broken("a page value longer than 255 bytes");
  if (value.find_first_of("\"\r\n") != std::string::npos)
    kvfuzz::Broken("a quote or line end in a page value");
}

template <class Compare> void CheckOrder(const std::string (&v)[3], Compare cmp, const char *name) {
  auto sign = [](int c) { return (c > 0) - (c < 0); };
  for (const std::string &a : v)
    if (cmp(a, a) != 0) kvfuzz::Broken(name);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      if (sign(cmp(v[i], v[j])) != -sign(cmp(v[j], v[i]))) kvfuzz::Broken(name);
      for (int k = 0; k < 3; ++k) {
        const int ij = cmp(v[i], v[j]), jk = cmp(v[j], v[k]), ik = cmp(v[i], v[k]);
        if (ij <= 0 && jk <= 0 && ik > 0) kvfuzz::Broken(name);
        if (ij == 0 && jk == 0 && ik != 0) kvfuzz::Broken(name);
      }
    }
}

// Texts that are no number are not ordered; the callers only compare numbers.
int CompareNumbers(const std::string &a, const std::string &b) {
  const double x = *VersionNumber(a), y = *VersionNumber(b);
  return x < y ? -1 : x > y;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TKvWebUpdate *w = new TKvWebUpdate;
  const std::vector<std::string> lines = SplitPageLines(kvfuzz::Text(data, size));
  w->Lines() = lines;
  w->ParseInfo();
  for (const std::string *value :
       {&w->WebVersion(), &w->DownloadURL(), &w->ClientFileName(), &w->RedirectionURL(), &w->Author(),
        &w->Email(), &w->ProductName(), &w->RunParameters()})
    CheckValue(*value);
  for (const std::string &line : lines)
    CheckValue(w->MetaContent(line));

  const std::string v[3] = {lines.size() > 0 ? lines[0] : "", lines.size() > 1 ? lines[1] : "",
                            lines.size() > 2 ? lines[2] : ""};
  CheckOrder(v, CompareStandardVersions, "standard versions are not ordered");
  CheckOrder(v, CompareVersionTexts, "version texts are not ordered");
  if (VersionNumber(v[0]) && VersionNumber(v[1]) && VersionNumber(v[2]))
    CheckOrder(v, CompareNumbers, "version numbers are not ordered");

  for (size_t i = 0; i < lines.size() && i < 8; ++i) {
    TKvURLParts parts, again;
    if (!w->SplitURL(lines[i], parts)) continue;
    if (!w->SplitURL(parts.Text(), again)) kvfuzz::Broken("a joined address does not split");
    if (again.Scheme != parts.Scheme || again.Host != parts.Host || again.Port != parts.Port ||
        again.Path != parts.Path || again.Text() != parts.Text())
      kvfuzz::Broken("split and join do not round-trip");
  }
  return 0;
}
