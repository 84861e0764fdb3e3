#include "settings.h"
#include "supplicant.h"

#include "case_name.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Case {
    const char *name;
    std::string config;
    int result;
    std::string ssid;
    int auth_mode;
    int encrypt_type;
    std::string key;
};

const std::string kLong36 = std::string(36, 's');
const std::string kLong35 = std::string(35, 's');

// A block with an SSID, a passphrase and then the given lines, after the given text.
std::string psk_block(const std::string &lines, const std::string &before = "") {
    return before + "network={\nssid=\"n\"\npsk=\"pass\"\n" + lines + "}\n";
}

const std::vector<Case> kCases = {
    {"no block leaves start values", "ctrl_interface=/var/run\nssid=\"x\"\n", 0, "", 0, 0, ""},
    {"wpa2 block",
     "network={\n\tssid=\"home\"\n\tpsk=\"secret pass\"\n\tkey_mgmt=WPA-PSK\n\tproto=RSN\n"
     "\tpairwise=CCMP\n}\n",
     0, "home", 3, 3, "secret pass"},
    {"never closed block is bad", "network={\nssid=\"a\"\n", -1, "a", 0, 0, ""},
    {"line without equals makes one bad block", "network={\nfoo\nbar\nssid=\"n\"\n}\n", -1, "n", 0,
     0, ""},
    {"unterminated quote is a fault", "network={\nssid=\"abc\n}\n", -1, "", 0, 0, ""},
    {"unquoted 64 digit psk kept", "network={\npsk=" + std::string(64, 'f') + "\n}\n", 0, "", 3, 3,
     std::string(64, 'f')},
    {"RSN then WPA-PSK keeps mode 3", "network={\nproto=RSN\nkey_mgmt=WPA-PSK\n}\n", 0, "", 3, 3,
     ""},
    {"WPA-PSK then WPA gives mode 2", "network={\nkey_mgmt=WPA-PSK\nproto=WPA\n}\n", 0, "", 2, 0,
     ""},
    {"blank before equals is another name", "network={\nssid =\"x\"\n}\n", 0, "", 0, 0, ""},
    {"nested network line is ordinary", "network={\nnetwork={\nssid=\"in\"\n}\n", 0, "in", 0, 0,
     ""},
    {"brace with text does not close", "network={\n};\nssid=\"z\"\n}\n", -1, "z", 0, 0, ""},
    {"brace with equals is a setting", "network={\n}=1\n}\n", 0, "", 0, 0, ""},
    {"brace with comment closes", "network={\n} # done\nssid=\"out\"\n", 0, "", 0, 0, ""},
    {"later block restored alone",
     "network={\nssid=\"one\"\npsk=\"k1\"\npairwise=TKIP\n}\nnetwork={\nssid=\"two\"\n}\n", 0,
     "two", 0, 0, ""},
    {"key_mgmt list changes nothing", "network={\nkey_mgmt=WPA-PSK WPA-EAP\n}\n", 0, "", 0, 0, ""},
    {"shared auth and wep key", "network={\nauth_alg=SHARED\nwep_key0=\"abcde\"\n}\n", 0, "", 1, 0,
     "abcde"},
    {"key_mgmt NONE resets mode", "network={\nproto=WPA2\nkey_mgmt=NONE\n}\n", 0, "", 0, 0, ""},
    {"names are case sensitive", "network={\nSSID=\"x\"\nproto=rsn\n}\n", 0, "", 0, 0, ""},
    {"35 character ssid fits", "network={\nssid=\"" + kLong35 + "\"\n}\n", 0, kLong35, 0, 0, ""},
    {"36 character ssid is a fault and kept out",
     "network={\nssid=\"old\"\n}\nnetwork={\nssid=\"" + kLong36 + "\"\n}\n", -1, "", 0, 0, ""},
    {"hex ssid decoded", "network={\nssid=6d796e6574\n}\n", 0, "mynet", 0, 0, ""},
    {"upper case hex ssid decoded", "network={\nssid=4A4B\n}\n", 0, "JK", 0, 0, ""},
    {"hex ssid with control byte is a fault", "network={\nssid=410a42\n}\n", -1, "", 0, 0, ""},
    {"hex ssid with zero byte is a fault", "network={\nssid=4100\n}\n", -1, "", 0, 0, ""},
    {"hex ssid with DEL is a fault", "network={\nssid=7f41\n}\n", -1, "", 0, 0, ""},
    {"odd length unquoted ssid loses ends", "network={\nssid=abcde\n}\n", 0, "bcd", 0, 0, ""},
    {"non hex unquoted ssid loses ends", "network={\nssid=xhomex\n}\n", 0, "home", 0, 0, ""},
    {"printf style ssid is not decoded", "network={\nssid=P\"lab\\x20net\"\n}\n", 0,
     "\"lab\\x20net", 0, 0, ""},
    {"one character ssid is a fault", "network={\nssid=\"a\"\n}\nnetwork={\nssid=q\n}\n", -1, "", 0,
     0, ""},
    {"empty ssid is a fault", "network={\nssid=\n}\n", -1, "", 0, 0, ""},
    {"empty quoted ssid", "network={\nssid=\"one\"\nssid=\"\"\n}\n", 0, "", 0, 0, ""},
    {"empty psk clears key", "network={\npsk=\"k\"\npsk=\n}\n", 0, "", 3, 3, ""},
    {"two bad blocks", "network={\nx\n}\nnetwork={\ny\n}\n", -2, "", 0, 0, ""},
    {"quoted hash kept in psk", "network={\npsk=\"a#b\" # c\n}\n", 0, "", 3, 3, "a#b"},

    // A psk block reads the key_mgmt, proto and pairwise it leaves out (or sets to a value
    // not listed) as the supplicant's defaults WPA-PSK, RSN and CCMP, before its own lines.
    {"psk only", psk_block(""), 0, "n", 3, 3, "pass"},
    {"psk and WPA-PSK", psk_block("key_mgmt=WPA-PSK\n"), 0, "n", 3, 3, "pass"},
    {"psk and WPA2", psk_block("proto=WPA2\n"), 0, "n", 3, 3, "pass"},
    {"psk WPA-PSK WPA", psk_block("key_mgmt=WPA-PSK\nproto=WPA\n"), 0, "n", 2, 3, "pass"},
    {"psk WPA-PSK TKIP", psk_block("key_mgmt=WPA-PSK\npairwise=TKIP\n"), 0, "n", 3, 2, "pass"},
    {"psk WPA-PSK WPA TKIP", psk_block("key_mgmt=WPA-PSK\nproto=WPA\npairwise=TKIP\n"), 0, "n", 2,
     2, "pass"},
    {"psk and RSN", psk_block("proto=RSN\n"), 0, "n", 3, 3, "pass"},
    {"psk and lists", psk_block("key_mgmt=WPA-PSK WPA-EAP\nproto=WPA RSN\npairwise=CCMP TKIP\n"), 0,
     "n", 3, 3, "pass"},
    {"psk and SAE", psk_block("key_mgmt=SAE\n"), 0, "n", 3, 3, "pass"},
    {"psk and NONE", psk_block("key_mgmt=NONE\n"), 0, "n", 0, 0, "pass"},
    {"NONE anywhere in the block implies nothing",
     "network={\nkey_mgmt=NONE\npsk=\"k\"\nproto=WPA\n}\n", 0, "", 2, 0, "k"},
    {"own lines follow the implied ones in file order",
     psk_block("proto=WPA\nkey_mgmt=WPA-PSK\n", "network={\nproto=WPA2\npairwise=TKIP\n}\n"), 0,
     "n", 2, 3, "pass"},
    {"earlier codes do not reach a psk block",
     "network={\nproto=WPA\npairwise=TKIP\n}\n" + psk_block(""), 0, "n", 3, 3, "pass"},
    {"implied in a bad block", psk_block("junk\n"), -1, "n", 3, 3, "pass"},
    {"implied in a never closed block", "network={\npsk=\"k\"\npairwise=TKIP\n", -1, "", 3, 2, "k"},
    {"psk with open quote implies nothing", "network={\npsk=\"k\n}\n", -1, "", 0, 0, ""},
    {"wep key implies nothing", "network={\nwep_key0=\"abcde\"\n}\n", 0, "", 0, 0, "abcde"},
    {"blocks without psk stay as read",
     psk_block("") + "network={\nssid=\"open\"\nkey_mgmt=NONE\n}\n", 0, "open", 0, 0, ""},

    // Static WEP: key_mgmt=NONE alone, no psk and the key wep_tx_keyidx names give WEP, with
    // SHARED only from auth_alg=SHARED; each block starts from the start values.
    {"shared wep whatever the order and codes",
     "network={\nauth_alg=SHARED\nproto=RSN\nkey_mgmt=NONE\nwep_key0=\"abcde\"\n}\n", 0, "", 1, 1,
     "abcde"},
    {"transmit key named after the keys",
     "network={\nkey_mgmt=NONE\nwep_key1=\"k1\"\nwep_key0=\"k0\"\nwep_tx_keyidx=1\n}\n", 0, "", 0,
     1, "k1"},
    {"last exact transmit index counts",
     "network={\nkey_mgmt=NONE\nwep_key0=k0\nwep_key1=k1\nwep_key2=k2\nwep_key3=k3\n"
     "wep_tx_keyidx=3\nwep_tx_keyidx=1\nwep_tx_keyidx=4\nwep_tx_keyidx=01\nwep_tx_keyidx= 2\n}\n",
     0, "", 0, 1, "k1"},
    {"transmit index out of range is 0",
     "network={\nkey_mgmt=NONE\nwep_key0=k0\nwep_key3=k3\nwep_tx_keyidx=4\n}\n", 0, "", 0, 1, "k0"},
    {"no transmit key no WEP", "network={\nkey_mgmt=NONE\nwep_key1=k1\nwep_key4=x\nwep_key=y\n}\n",
     0, "", 0, 0, ""},
    {"wep key and another key_mgmt no WEP",
     "network={\nkey_mgmt=NONE\nkey_mgmt=NONE IEEE8021X\nwep_key0=k\n}\n", 0, "", 0, 0, "k"},
    {"wep key and psk no WEP, later key wins",
     "network={\nkey_mgmt=NONE\nwep_key1=w\npsk=\"p\"\nwep_tx_keyidx=1\n}\n", 0, "", 0, 0, "p"},
    {"WPA-PSK lowers an earlier block's WPA2",
     "network={\nproto=WPA2\n}\nnetwork={\nkey_mgmt=WPA-PSK\n}\n", 0, "", 2, 0, ""},

    // A block that takes no effect is judged like any other but changes nothing; a file
    // whose blocks all take no effect is refused.
    {"SAE without psk takes no effect",
     "network={\nssid=\"wpa3\"\nkey_mgmt=SAE\nsae_password=\"pw\"\n}\n", -1, "", 0, 0, ""},
    {"EAP block after a good one changes nothing",
     psk_block("") + "network={\nssid=\"corp\"\nkey_mgmt=WPA-EAP\npassword=\"p\"\n}\n", 0, "n", 3,
     3, "pass"},
    {"key_mgmt words are case sensitive", "network={\nssid=\"a\"\nkey_mgmt=wpa-psk\n}\n", -1, "", 0,
     0, ""},
    {"wep key is no psk", "network={\nkey_mgmt=SAE WPA-EAP\nwep_key0=\"abcde\"\n}\n", -1, "", 0, 0,
     ""},
    {"key_mgmt words split at blanks", "network={\nssid=\"t\"\nkey_mgmt=OWE\tNONE SAE\n}\n", 0, "t",
     0, 0, ""},
    {"transition without psk as read", "network={\nssid=\"t\"\nkey_mgmt=WPA-PSK SAE\n}\n", 0, "t",
     0, 0, ""},
    {"psk of an earlier block does not count",
     psk_block("") + "network={\nssid=\"s\"\nkey_mgmt=SAE\n}\n", 0, "n", 3, 3, "pass"},
    {"psk with a blank does not count", "network={\nkey_mgmt=SAE\npsk =\"k\"\n}\n", -1, "", 0, 0,
     ""},
    {"faulty psk does not count", "network={\nssid=\"s\"\nkey_mgmt=SAE\npsk=\"k\n}\n", -1, "", 0, 0,
     ""},
    {"disabled block changes nothing, no defaults either",
     psk_block("disabled=1 # off\n", "network={\nssid=\"home\"\n}\n"), 0, "home", 0, 0, ""},
    {"disabled with blanks and CR", "network={\nssid=\"a\"\n  disabled=1 \t\r\n}\n", -1, "", 0, 0,
     ""},
    {"near forms of disabled do not disable",
     "network={\nssid=\"a\"\ndisabled = 1\ndisabled=01\ndisabled=\"1\"\nDisabled=1\n}\n", 0, "a", 0,
     0, ""},
    {"disabled=0 does not undo it", "network={\nssid=\"a\"\ndisabled=1\ndisabled=0\n}\n", -1, "", 0,
     0, ""},
    {"bad block without effect", "network={\nssid=\"b\"\npsk=\"k\"\ndisabled=1\njunk\n", -1, "", 0,
     0, ""},
    {"66 digit hex ssid is a fault", "network={\nssid=" + std::string(66, '4') + "\n}\n", -1, "", 0,
     0, ""},
};

struct Supplicant : testing::TestWithParam<Case> {};

TEST_P(Supplicant, DistilsSettings) {
    const Case &c = GetParam();
    char path[] = "/tmp/kelmora-supplicant-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, c.config.data(), c.config.size()), static_cast<ssize_t>(c.config.size()));
    close(fd);

    std::memset(&network_settings, 0, sizeof network_settings);
    testing::internal::CaptureStdout();
    const int result = parse_supplicant_config(path);
    const std::string summary = testing::internal::GetCapturedStdout();
    unlink(path);

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(network_settings.ssid, c.ssid);
    EXPECT_EQ(network_settings.auth_mode, c.auth_mode);
    EXPECT_EQ(network_settings.encrypt_type, c.encrypt_type);
    EXPECT_EQ(network_settings.key, c.key);
    EXPECT_EQ(summary, "SSID: " + c.ssid + "\nAuthMode: " + std::to_string(c.auth_mode) +
                           "\nEncType: " + std::to_string(c.encrypt_type) + "\nEncKey: " + c.key +
                           "\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, Supplicant, testing::ValuesIn(kCases), CaseName());

TEST(SupplicantFailures, UnopenableFileGivesMinusOneAndNoSummary) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_supplicant_config("/nonexistent/wpa.conf"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(SupplicantFailures, ReadErrorIsNotEndOfFile) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_supplicant_config("/tmp"), -1); // a directory opens but cannot be read
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
