// The pre-parse scan of property-list bytes (see CFPropertyListGuard.h).
#include "cf/CFPropertyListGuard.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace cf {
namespace {

bool starts_with(std::string_view s, size_t at, std::string_view prefix) {
    return s.size() - at >= prefix.size() && s.compare(at, prefix.size(), prefix) == 0;
}

bool name_char(char c) { return c != '>' && c != '/' && c != ' ' && c != '\t' && c != '\n' && c != '\r'; }

// XML: the greatest number of <array> and <dict> elements open at once. Comments, processing
// instructions and the DOCTYPE are skipped as libplist skips them. Inside CDATA an opening tag
// still counts and a closing one does not, so whatever libplist makes of CDATA, the count is never
// lower than the nesting it builds.
std::string check_xml(std::string_view s) {
    // A NUL character, raw or as a character reference, would reach libplist's key handling,
    // which asserts (aborts the process) on a key with a NUL inside.
    if (s.find('\0') != std::string_view::npos) return "XML property list contains a NUL byte";
    for (size_t at = 0; (at = s.find("&#", at)) != std::string_view::npos; at += 2) {
        size_t k = at + 2;
        bool hex = k < s.size() && (s[k] == 'x' || s[k] == 'X');
        if (hex) ++k;
        uint32_t value = 0;
        size_t digits = 0;
        for (; k < s.size(); ++k, ++digits) {
            char c = s[k];
            int d = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) break;
            value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
        }
        if (digits > 0 && value == 0) return "XML property list contains a NUL character reference";
    }
    int depth = 0;
    size_t i = 0;
    while ((i = s.find('<', i)) != std::string_view::npos) {
        if (starts_with(s, i, "<!--")) {
            size_t end = s.find("-->", i + 4);
            if (end == std::string_view::npos) return "XML property list: unterminated comment";
            i = end + 3;
            continue;
        }
        if (starts_with(s, i, "<![CDATA[")) {
            size_t end = s.find("]]>", i + 9);
            if (end == std::string_view::npos) return "XML property list: unterminated CDATA section";
            std::string_view body = s.substr(i, end - i);
            for (size_t k = 0; (k = body.find('<', k)) != std::string_view::npos; ++k)
                if (starts_with(body, k, "<array") || starts_with(body, k, "<dict")) ++depth;
            if (depth > kMaxPropertyListDepth) break;
            i = end + 3;
            continue;
        }
        if (starts_with(s, i, "<?") || starts_with(s, i, "<!")) {
            // Processing instruction or DOCTYPE (whose internal subset may hold '>' inside brackets).
            int brackets = 0;
            size_t k = i + 2;
            for (; k < s.size(); ++k) {
                if (s[k] == '[') ++brackets;
                else if (s[k] == ']') --brackets;
                else if (s[k] == '>' && brackets <= 0) break;
            }
            i = k + 1;
            continue;
        }
        bool closing = i + 1 < s.size() && s[i + 1] == '/';
        size_t name_start = i + (closing ? 2 : 1);
        size_t name_end = name_start;
        while (name_end < s.size() && name_char(s[name_end])) ++name_end;
        std::string_view name = s.substr(name_start, name_end - name_start);
        // The tag ends at the first '>' outside a quoted attribute value.
        char quote = 0;
        size_t k = name_end;
        for (; k < s.size(); ++k) {
            if (quote != 0) {
                if (s[k] == quote) quote = 0;
            } else if (s[k] == '"' || s[k] == '\'') {
                quote = s[k];
            } else if (s[k] == '>') {
                break;
            }
        }
        bool self_closing = k < s.size() && k > name_end && s[k - 1] == '/';
        if (name == "array" || name == "dict") {
            if (closing) {
                if (depth > 0) --depth;
            } else if (!self_closing && ++depth > kMaxPropertyListDepth) {
                break;
            }
        }
        i = k;
    }
    if (depth > kMaxPropertyListDepth)
        return "property list nests arrays and dictionaries deeper than " + std::to_string(kMaxPropertyListDepth) +
               " levels";
    return {};
}

// Binary: validates the trailer, the offset table and every object reachable from the top object
// (each object's bytes and references lie inside the data), then walks the object graph without
// recursion, remembering each object's depth and expanded size, and refuses cycles, excess depth
// and expansion beyond kMaxPropertyListNodes.
class BinaryScan {
public:
    BinaryScan(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    std::string run() {
        if (size_ < 8 + 32) return "binary property list: too short for a header and trailer";
        if (std::memcmp(data_, "bplist00", 8) != 0) return "binary property list: unsupported version";
        const uint8_t *t = data_ + size_ - 32;
        offset_size_ = t[6];
        ref_size_ = t[7];
        uint64_t count = read_be(t + 8, 8), top = read_be(t + 16, 8), table = read_be(t + 24, 8);
        if (offset_size_ < 1 || offset_size_ > 8 || ref_size_ < 1 || ref_size_ > 8)
            return "binary property list: invalid offset or reference size in the trailer";
        objects_end_ = size_ - 32;
        if (count == 0 || top >= count) return "binary property list: the top object is not in the object table";
        if (table < 8 || table > objects_end_ || count > (objects_end_ - table) / offset_size_)
            return "binary property list: the offset table lies outside the data";
        objects_end_ = table;
        table_ = data_ + table;
        count_ = count;
        state_.assign(count, 0);
        depth_.assign(count, 0);
        nodes_.assign(count, 0);
        return walk(top);
    }

private:
    struct Frame {
        uint64_t object;
        std::vector<uint64_t> children;
        size_t next;
    };

    static uint64_t read_be(const uint8_t *p, size_t n) {
        uint64_t v = 0;
        for (size_t k = 0; k < n; ++k) v = (v << 8) | p[k];
        return v;
    }

    // Reads object i's marker and length, checks its bytes fit, and collects its references.
    std::string open(uint64_t i, std::vector<uint64_t> &children, bool &container) {
        uint64_t offset = read_be(table_ + i * offset_size_, offset_size_);
        if (offset < 8 || offset >= objects_end_) return "binary property list: object " + std::to_string(i) + " lies outside the data";
        uint8_t marker = data_[offset];
        unsigned type = marker >> 4, info = marker & 15;
        uint64_t pos = offset + 1;
        uint64_t length = info;
        auto bad = [&](const char *what) { return "binary property list: object " + std::to_string(i) + " " + what; };
        if ((type == 4 || type == 5 || type == 6 || type == 10 || type == 12 || type == 13) && info == 15) {
            if (pos >= objects_end_) return bad("is truncated");
            uint8_t int_marker = data_[pos];
            if ((int_marker >> 4) != 1 || (int_marker & 15) > 3) return bad("has an invalid length");
            size_t n = size_t(1) << (int_marker & 15);
            if (objects_end_ - (pos + 1) < n) return bad("is truncated");
            length = read_be(data_ + pos + 1, n);
            pos += 1 + n;
        }
        uint64_t payload = 0, refs = 0;
        switch (type) {
        case 0: if (info != 0 && info != 8 && info != 9 && info != 15) return bad("has an unknown marker"); break;
        case 1: if (info > 4) return bad("is an integer of unsupported size"); payload = uint64_t(1) << info; break;
        case 2: if (info != 2 && info != 3) return bad("is a real of unsupported size"); payload = uint64_t(1) << info; break;
        case 3: if (info != 3) return bad("is a date of unsupported size"); payload = 8; break;
        case 4: case 5: payload = length; break;
        case 6: if (length > UINT64_MAX / 2) return bad("is too long"); payload = length * 2; break;
        case 8: payload = uint64_t(info) + 1; break;
        case 10: case 12: refs = length; break;
        case 13: if (length > UINT64_MAX / 2) return bad("is too long"); refs = length * 2; break;
        default: return bad("has an unknown type");
        }
        uint64_t room = objects_end_ - pos;
        if (payload > room || (refs > 0 && refs > room / ref_size_)) return bad("runs past the end of the data");
        // Strings with a NUL inside cannot be written back, and as dictionary keys they make
        // libplist assert: refuse them here.
        if (type == 5 && std::memchr(data_ + pos, 0, payload) != nullptr) return bad("is a string with a NUL character");
        if (type == 6)
            for (uint64_t k = 0; k < payload; k += 2)
                if (data_[pos + k] == 0 && data_[pos + k + 1] == 0) return bad("is a string with a NUL character");
        container = type == 10 || type == 12 || type == 13;
        children.clear();
        for (uint64_t k = 0; k < refs; ++k) {
            uint64_t ref = read_be(data_ + pos + k * ref_size_, ref_size_);
            if (ref >= count_) return bad("refers to an object outside the table");
            children.push_back(ref);
        }
        return {};
    }

    std::string walk(uint64_t top) {
        std::vector<Frame> stack;
        std::vector<uint64_t> children;
        bool container = false;
        auto push = [&](uint64_t i) -> std::string {
            std::string problem = open(i, children, container);
            if (!problem.empty()) return problem;
            state_[i] = 1;
            depth_[i] = container ? 1 : 0;
            nodes_[i] = 1;
            stack.push_back({i, children, 0});
            if (stack.size() > static_cast<size_t>(kMaxPropertyListDepth) + 1) return depth_problem();
            return {};
        };
        if (std::string p = push(top); !p.empty()) return p;
        while (!stack.empty()) {
            Frame &f = stack.back();
            if (f.next < f.children.size()) {
                uint64_t child = f.children[f.next++];
                if (state_[child] == 1) return "binary property list: object " + std::to_string(child) + " contains itself";
                if (state_[child] == 0) {
                    if (std::string p = push(child); !p.empty()) return p;
                    continue;
                }
                absorb(f.object, child);
                continue;
            }
            uint64_t done = f.object;
            state_[done] = 2;
            stack.pop_back();
            if (depth_[done] > static_cast<uint64_t>(kMaxPropertyListDepth)) return depth_problem();
            if (nodes_[done] > kMaxPropertyListNodes)
                return "binary property list: shared objects expand to more than " + std::to_string(kMaxPropertyListNodes) +
                       " nodes";
            if (!stack.empty()) absorb(stack.back().object, done);
        }
        return {};
    }

    void absorb(uint64_t parent, uint64_t child) {
        if (depth_[child] + 1 > depth_[parent]) depth_[parent] = depth_[child] + 1;
        nodes_[parent] += nodes_[child];
        if (nodes_[parent] > kMaxPropertyListNodes) nodes_[parent] = kMaxPropertyListNodes + 1;  // saturate
    }

    static std::string depth_problem() {
        return "property list nests arrays and dictionaries deeper than " + std::to_string(kMaxPropertyListDepth) +
               " levels";
    }

    const uint8_t *data_;
    size_t size_;
    const uint8_t *table_ = nullptr;
    size_t offset_size_ = 0, ref_size_ = 0;
    uint64_t objects_end_ = 0, count_ = 0;
    std::vector<uint8_t> state_;  // 0 unseen, 1 on the walk's path, 2 done
    std::vector<uint64_t> depth_, nodes_;
};

}  // namespace

std::string check_property_list_bytes(const uint8_t *data, size_t size, PropertyListEncoding &encoding) {
    if (data == nullptr || size == 0) return "property list data is empty";
    if (size > kMaxPropertyListBytes)
        return "property list data is " + std::to_string(size) + " bytes; at most " +
               std::to_string(kMaxPropertyListBytes) + " are read";
    if (size >= 6 && std::memcmp(data, "bplist", 6) == 0) {
        encoding = PropertyListEncoding::binary;
        return BinaryScan(data, size).run();
    }
    encoding = PropertyListEncoding::xml;
    std::string_view text(reinterpret_cast<const char *>(data), size);
    if (text.find("<plist") == std::string_view::npos)
        return "not a property list: neither XML with a <plist> element nor binary";
    return check_xml(text);
}

}  // namespace cf
