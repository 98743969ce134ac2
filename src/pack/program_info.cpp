#include "pack/program_info.h"


namespace {

void Put16(std::vector<uint8_t>* b, uint32_t v) {
    b->push_back((uint8_t)v);
    b->push_back((uint8_t)(v >> 8));
}

void Put32(std::vector<uint8_t>* b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void PutText(std::vector<uint8_t>* b, const std::u16string& text) {
    for (char16_t c : text) Put16(b, c);
    Put16(b, 0);
}

void Align4(std::vector<uint8_t>* b) {
    while (b->size() % 4) b->push_back(0);
}

// One node of the version tree: wLength, wValueLength, wType (1: text),
// the key, the value, then the children, each starting on a 4-byte
// boundary. wLength counts everything up to the end of the last child.
template <typename Children>
void Node(std::vector<uint8_t>* b, const std::u16string& key, uint16_t type, const std::vector<uint8_t>& value,
          uint16_t valueLength, Children children) {
    Align4(b);
    size_t start = b->size();
    Put16(b, 0);
    Put16(b, valueLength);
    Put16(b, type);
    PutText(b, key);
    Align4(b);
    b->insert(b->end(), value.begin(), value.end());
    children();
    size_t length = b->size() - start;
    (*b)[start] = (uint8_t)length;
    (*b)[start + 1] = (uint8_t)(length >> 8);
}

void NoChildren() {}

// A string of the string table; its value length counts UTF-16 units with
// the terminator.
void StringNode(std::vector<uint8_t>* b, const std::u16string& key, const std::u16string& value) {
    if (value.empty()) return;
    std::vector<uint8_t> text;
    PutText(&text, value);
    Node(b, key, 1, text, (uint16_t)(value.size() + 1), NoChildren);
}

std::u16string VersionText(const uint16_t v[4]) {
    std::string text = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
                       std::to_string(v[3]);
    return std::u16string(text.begin(), text.end());
}

}  // namespace

std::vector<uint8_t> VersionResource(const VersionInfo& info) {
    std::vector<uint8_t> fixed;  // VS_FIXEDFILEINFO
    uint32_t high = (uint32_t)info.version[0] << 16 | info.version[1];
    uint32_t low = (uint32_t)info.version[2] << 16 | info.version[3];
    for (uint32_t v : {0xFEEF04BDu, 0x00010000u, high, low, high, low, 0x3Fu, 0u,
                       0x40004u /* VOS_NT_WINDOWS32 */, 1u /* VFT_APP */, 0u, 0u, 0u})
        Put32(&fixed, v);
    std::u16string version = VersionText(info.version);
    std::vector<uint8_t> out;
    Node(&out, u"VS_VERSION_INFO", 0, fixed, (uint16_t)fixed.size(), [&] {
        Node(&out, u"StringFileInfo", 1, {}, 0, [&] {
            Node(&out, u"040904B0", 1, {}, 0, [&] {  // US English, Unicode
                StringNode(&out, u"CompanyName", info.company);
                StringNode(&out, u"FileDescription", info.description);
                StringNode(&out, u"FileVersion", version);
                StringNode(&out, u"ProductName", info.product);
                StringNode(&out, u"ProductVersion", version);
            });
        });
        Node(&out, u"VarFileInfo", 1, {}, 0, [&] {
            Node(&out, u"Translation", 0, {0x09, 0x04, 0xB0, 0x04}, 4, NoChildren);
        });
    });
    return out;
}

std::string ApplicationManifest() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
           "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
           "    <security>\r\n"
           "      <requestedPrivileges>\r\n"
           "        <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\r\n"
           "      </requestedPrivileges>\r\n"
           "    </security>\r\n"
           "  </trustInfo>\r\n"
           "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\r\n"
           "    <application>\r\n"
           "      <supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\r\n"  // Vista
           "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\r\n"  // 7
           "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\r\n"  // 8
           "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\r\n"  // 8.1
           "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\r\n"  // 10 and 11
           "    </application>\r\n"
           "  </compatibility>\r\n"
           "</assembly>\r\n";
}

bool ParseVersion(const std::string& text, uint16_t version[4]) {
    uint16_t parts[4] = {0, 0, 0, 0};
    size_t at = 0;
    for (int i = 0; i < 4; i++) {
        size_t digits = 0;
        unsigned long value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 6) {
            value = value * 10 + (unsigned long)(text[at++] - '0');
            digits++;
        }
        if (digits == 0 || value > 0xFFFF) return false;
        parts[i] = (uint16_t)value;
        if (at == text.size()) {
            for (int k = 0; k < 4; k++) version[k] = parts[k];
            return true;
        }
        if (text[at++] != '.') return false;
    }
    return false;
}
