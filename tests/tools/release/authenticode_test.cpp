#include "tools/release/authenticode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace patcher::release {
namespace {

void Put(std::string& bytes, std::size_t at, std::uint32_t value, int width = 4) {
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

struct PeShape {
    std::uint16_t magic = 0x10b;
    std::uint32_t directories = 16;
    bool certificate = false;   // a certificate table at the end of the file
    std::uint16_t type = 2;     // its WIN_CERTIFICATE type
    std::uint32_t overrun = 0;  // how far the stated table reaches past the file's end
};

// The headers an exe has as far as the certificate table is concerned, then a body and, when
// asked, a WIN_CERTIFICATE of 16 bytes at the end.
std::string MakePe(const PeShape& shape) {
    const std::size_t pe = 0x80;
    const std::size_t optional = pe + 24;
    const std::size_t directories = optional + (shape.magic == 0x20b ? 112 : 96);
    std::string bytes(directories + 16 * 8 + 256, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put(bytes, 0x3C, pe);
    bytes.replace(pe, 4, std::string("PE\0\0", 4));
    Put(bytes, optional, shape.magic, 2);
    Put(bytes, directories - 4, shape.directories);
    if (shape.certificate) {
        const std::size_t table = bytes.size();
        bytes.append(16, '\x30');
        Put(bytes, table, 16);
        Put(bytes, table + 4, 0x0200, 2);
        Put(bytes, table + 6, shape.type, 2);
        Put(bytes, directories + 4 * 8, static_cast<std::uint32_t>(table));
        Put(bytes, directories + 4 * 8 + 4, 16 + shape.overrun);
    }
    return bytes;
}

TEST(InspectPeSignature, TellsSignedFromUnsignedAndRefusesWhatIsNoSignature) {
    struct Case {
        std::string name;
        std::string bytes;
        StatusCode code;
        PeSignature signature;
        std::string message_part;
    };
    const StatusCode refused = StatusCode::BadFormat;
    const PeSignature none = PeSignature::Unsigned;  // not looked at when refused
    const Case cases[] = {
        {"PE32 unsigned", MakePe({}), StatusCode::Ok, PeSignature::Unsigned, ""},
        {"PE32+ unsigned", MakePe({.magic = 0x20b}), StatusCode::Ok, PeSignature::Unsigned, ""},
        {"PE32 signed", MakePe({.certificate = true}), StatusCode::Ok, PeSignature::Signed, ""},
        {"PE32+ signed", MakePe({.magic = 0x20b, .certificate = true}), StatusCode::Ok,
         PeSignature::Signed, ""},
        {"no security directory", MakePe({.directories = 4, .certificate = true}), StatusCode::Ok,
         PeSignature::Unsigned, ""},
        {"table past the end", MakePe({.certificate = true, .overrun = 1}), refused, none,
         "the certificate table lies outside the file"},
        {"X.509 entry, not PKCS#7", MakePe({.certificate = true, .type = 1}), refused, none,
         "holds no Authenticode signature"},
        {"unknown magic", MakePe({.magic = 0x107}), refused, none, "magic"},
        {"no MZ", "ZM" + MakePe({}).substr(2), refused, none, "no MZ header"},
        {"truncated", MakePe({}).substr(0, 0x90), refused, none, "no PE signature"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const Result<PeSignature> found = InspectPeSignature(test.bytes);
        EXPECT_EQ(found.status().code, test.code) << found.status().message;
        if (found.ok()) {
            EXPECT_EQ(found.value(), test.signature);
        } else {
            EXPECT_NE(found.status().message.find(test.message_part), std::string::npos)
                << found.status().message;
        }
    }
}

}  // namespace
}  // namespace patcher::release
