// Writes the seed replies for the SNMP fuzz targets into the directory given:
// discovery answers in the short and long length forms (every element's, in
// one of them), with a two-byte hardware type and with a name longer than the
// reader keeps, an error answer and a reply with every value type.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "BerBytes.h"

namespace {

using ber::Bytes;
using ber::Concat;
using ber::Text;
using ber::Tlv;
using ber::TlvLong;

const Bytes kZero = {0x02, 0x01, 0x00};

Bytes Message(const Bytes& bindings, const Bytes& status, const Bytes& community) {
    return Tlv(0x30, Concat({kZero, Tlv(0x04, community), Tlv(0xA2, Concat({kZero, status, kZero, Tlv(0x30, bindings)}))}));
}

Bytes Binding(const Bytes& oid, const Bytes& value) { return Tlv(0x30, Concat({Tlv(0x06, oid), value})); }

// The five discovery objects under 1.3.6.1.4.1.5821 (5821 is 0xAD 0x3D).
const Bytes kOids[] = {
    {0x2B, 6, 1, 4, 1, 0xAD, 0x3D, 1, 7, 1, 0},
    {0x2B, 6, 1, 4, 1, 0xAD, 0x3D, 1, 10, 1, 1, 3, 2},
    {0x2B, 6, 1, 4, 1, 0xAD, 0x3D, 1, 7, 3, 0},
    {0x2B, 6, 1, 4, 1, 0xAD, 0x3D, 4, 3, 14, 0},
    {0x2B, 6, 1, 4, 1, 0xAD, 0x3D, 1, 11, 11, 0},
};

Bytes DiscoveryReply(const std::string& name, const Bytes& status, const std::string& community,
                     const Bytes& hardwareType = Tlv(0x02, {0xF6})) {
    const Bytes values[] = {Tlv(0x04, {4, 1, 2, 3, 0x21}), Tlv(0x02, {3}), hardwareType,
                            Tlv(0x40, {127, 0, 0, 9}), Tlv(0x04, Text(name))};
    Bytes bindings;
    for (std::size_t i = 0; i < 5; ++i) bindings = Concat({bindings, Binding(kOids[i], values[i])});
    return Message(bindings, status, Text(community));
}

// Every element of the answer with a two-byte long-form length.
Bytes DiscoveryReplyInLongForms(const std::string& name) {
    const Bytes values[] = {TlvLong(0x04, {4, 1, 2, 3, 0x21}, 2), TlvLong(0x02, {3}, 2), TlvLong(0x02, {0x01, 0x2C}, 2),
                            TlvLong(0x40, {127, 0, 0, 9}, 2), TlvLong(0x04, Text(name), 2)};
    Bytes bindings;
    for (std::size_t i = 0; i < 5; ++i) {
        bindings = Concat({bindings, TlvLong(0x30, Concat({TlvLong(0x06, kOids[i], 2), values[i]}), 2)});
    }
    const Bytes pdu = TlvLong(0xA2, Concat({kZero, kZero, kZero, TlvLong(0x30, bindings, 2)}), 2);
    return TlvLong(0x30, Concat({kZero, TlvLong(0x04, Text("public"), 2), pdu}), 2);
}

Bytes EveryValueType() {
    const Bytes sysDescr = {0x2B, 6, 1, 2, 1, 1, 1, 0};
    const Bytes values[] = {
        Tlv(0x02, {0xFF, 0x7F}),
        Tlv(0x04, Text("text")),
        {0x05, 0x00},
        Tlv(0x06, {0x2B, 6, 1, 0x83, 0xFF, 0x7F}),  // last sub-identifier 65535, the largest
        Tlv(0x40, {10, 0, 0, 1}),
        Tlv(0x41, {0x00, 0xFF, 0xFF, 0xFF, 0xFF}),
        Tlv(0x42, {7}),
        Tlv(0x43, {1, 0}),
        Tlv(0x44, {0xDE, 0xAD}),
    };
    Bytes bindings;
    for (const Bytes& v : values) bindings = Concat({bindings, Binding(sysDescr, v)});
    return Message(bindings, kZero, Text("public"));
}

bool Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = Write(dir + "/discovery-short", DiscoveryReply("Harbor", kZero, "public")) &&
                    Write(dir + "/discovery-long", DiscoveryReply(std::string(47, 'n'), kZero, std::string(30, 'c'))) &&
                    Write(dir + "/discovery-overlong", DiscoveryReply(std::string(60, 'o'), kZero, "public")) &&
                    Write(dir + "/discovery-error", DiscoveryReply("x", {0x02, 0x01, 0x02}, "public")) &&
                    Write(dir + "/discovery-long-forms", DiscoveryReplyInLongForms("Harbor")) &&
                    Write(dir + "/discovery-wide-type",
                          DiscoveryReply("w", kZero, "public", Tlv(0x02, {0x00, 0xC8}))) &&
                    Write(dir + "/every-value-type", EveryValueType());
    if (!ok) std::fprintf(stderr, "cannot write the seeds into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
