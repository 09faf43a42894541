// The udev rule and the AppStream modaliases name the device family as globs. Globs cover ranges
// only when spelled with care, so every product of the family's vendors and their neighbours is
// tried against them, with the same matching udev and software centres use (fnmatch).
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "discovery/Scan.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Hex4(std::uint32_t value, bool upper) {
  char text[8];
  std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", static_cast<unsigned>(value));
  return text;
}

// A value matches a udev pattern when it matches one of its '|'-separated globs.
bool UdevPatternMatches(const std::string& pattern, const std::string& value) {
  std::size_t start = 0;
  while (true) {
    const std::size_t bar = pattern.find('|', start);
    const std::string glob = pattern.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    if (fnmatch(glob.c_str(), value.c_str(), 0) == 0) return true;
    if (bar == std::string::npos) return false;
    start = bar + 1;
  }
}

// One key of a rule line: KEY or KEY{attribute}, its operator and its value.
struct RuleKey {
  std::string key;
  std::string op;
  std::string value;
};

// A hidraw node as udev sees it: its kernel name and the attributes of its USB device ancestor.
struct Node {
  std::string kernel;
  std::map<std::string, std::string> usbAttrs;
};

// The rules of the file, a line each. Only the keys this rule file needs are understood; any
// other key fails the test, so that the model below never passes a rule it cannot evaluate.
class UdevRules {
 public:
  explicit UdevRules(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    const std::regex keyPattern(R"re(\s*([A-Z_]+(\{[^}]*\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$))re");
    while (std::getline(lines, line)) {
      if (line.find_first_not_of(" \t") == std::string::npos || line[line.find_first_not_of(" \t")] == '#') continue;
      std::vector<RuleKey> rule;
      std::size_t consumed = 0;
      for (std::sregex_iterator it(line.begin(), line.end(), keyPattern), end; it != end; ++it) {
        if (static_cast<std::size_t>(it->position()) != consumed) break;
        rule.push_back({(*it)[1], (*it)[3], (*it)[4]});
        consumed += static_cast<std::size_t>(it->length());
      }
      EXPECT_EQ(consumed, line.size()) << "cannot read rule line: " << line;
      m_rules.push_back(rule);
    }
  }

  std::size_t size() const { return m_rules.size(); }

  // Whether the rules tag the node with uaccess.
  bool grantsAccess(const Node& node) const {
    for (const auto& rule : m_rules) {
      bool matches = true;
      bool tags = false;
      for (const RuleKey& k : rule) {
        if (k.op == "==" || k.op == "!=") {
          std::optional<std::string> value;
          if (k.key == "KERNEL") {
            value = node.kernel;
          } else if (k.key.rfind("ATTRS{", 0) == 0) {
            const auto attr = node.usbAttrs.find(k.key.substr(6, k.key.size() - 7));
            if (attr != node.usbAttrs.end()) value = attr->second;
          } else {
            ADD_FAILURE() << "match key the check does not model: " << k.key;
            return false;
          }
          const bool hit = value && UdevPatternMatches(k.value, *value);
          if (hit != (k.op == "==")) matches = false;
        } else if (k.key == "TAG" && k.op == "+=" && k.value == "uaccess") {
          tags = true;
        } else {
          ADD_FAILURE() << "assignment the check does not model: " << k.key << k.op << k.value;
          return false;
        }
      }
      if (matches && tags) return true;
    }
    return false;
  }

 private:
  std::vector<std::vector<RuleKey>> m_rules;
};

// The family's vendors, their neighbours and the ends of the range, each with every product.
const std::uint32_t kVendors[] = {0x1DD2, 0x16C0, 0x1DD1, 0x1DD3, 0x16BF, 0x16C1, 0x0000, 0xFFFF};

const std::string kRuleFile = std::string(QUORVEL_SOURCE_DIR) + "/res/70-quorvel.rules";

TEST(UdevRule, TagsExactlyTheFamilysHidrawNodes) {
  const UdevRules rules(ReadFile(kRuleFile));
  ASSERT_GT(rules.size(), 0u);
  for (const std::uint32_t vendor : kVendors) {
    int mismatches = 0;
    for (std::uint32_t product = 0; product <= 0xFFFF && mismatches < 5; ++product) {
      const Node node{"hidraw7", {{"idVendor", Hex4(vendor, false)}, {"idProduct", Hex4(product, false)}}};
      const bool expected = discovery::IsSupportedDevice(static_cast<std::uint16_t>(vendor),
                                                         static_cast<std::uint16_t>(product));
      if (rules.grantsAccess(node) != expected) {
        ++mismatches;
        ADD_FAILURE() << "vendor " << Hex4(vendor, false) << " product " << Hex4(product, false)
                      << (expected ? " is not tagged" : " is tagged");
      }
    }
  }
}

TEST(UdevRule, LeavesOtherNodesOfTheFamilyAlone) {
  const UdevRules rules(ReadFile(kRuleFile));
  struct Row {
    const char* what;
    Node node;
  };
  const Row rows[] = {
      {"input event node", {"event3", {{"idVendor", "1dd2"}, {"idProduct", "0001"}}}},
      {"serial node", {"ttyACM0", {{"idVendor", "16c0"}, {"idProduct", "05b4"}}}},
      {"no USB ancestor", {"hidraw0", {}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_FALSE(rules.grantsAccess(row.node));
  }
}

// systemd's 73-seat-late.rules turns the uaccess tag into ACLs; rules run in the lexical order of
// their file names, so a tag added by a later file is never acted on.
TEST(UdevRule, RunsBeforeTheSeatRules) {
  const std::string name = kRuleFile.substr(kRuleFile.rfind('/') + 1);
  EXPECT_LT(name, std::string("73-seat-late.rules"));
}

TEST(AppStreamModaliases, NameExactlyTheFamily) {
  const std::string metainfo = ReadFile(std::string(QUORVEL_SOURCE_DIR) + "/res/org.quorvel.Quorvel.metainfo.xml");
  const std::regex modaliasPattern("<modalias>([^<]*)</modalias>");
  std::vector<std::string> globs;
  for (std::sregex_iterator it(metainfo.begin(), metainfo.end(), modaliasPattern), end; it != end; ++it)
    globs.push_back((*it)[1]);
  ASSERT_FALSE(globs.empty());

  for (const std::uint32_t vendor : kVendors) {
    int mismatches = 0;
    for (std::uint32_t product = 0; product <= 0xFFFF && mismatches < 5; ++product) {
      // A USB device's modalias as the kernel writes it: upper-case hex, then the device's
      // release and class codes.
      const std::string modalias =
          "usb:v" + Hex4(vendor, true) + "p" + Hex4(product, true) + "d0104dc00dsc00dp00ic03isc00ip00in00";
      bool provided = false;
      for (const std::string& glob : globs) provided = provided || fnmatch(glob.c_str(), modalias.c_str(), 0) == 0;
      const bool expected = discovery::IsSupportedDevice(static_cast<std::uint16_t>(vendor),
                                                         static_cast<std::uint16_t>(product));
      if (provided != expected) {
        ++mismatches;
        ADD_FAILURE() << modalias << (expected ? " is not provided for" : " is provided for");
      }
    }
  }
}

}  // namespace
