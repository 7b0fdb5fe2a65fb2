#include "platform/linux/settings_store_ini.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "base/scope_exit.h"
#include "platform/linux/unique_fd.h"

namespace tovi::platform {

namespace ini {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

// One line of the file as it was read, without its '\n' but with any '\r',
// so that untouched lines are written back exactly.
struct Line {
    std::string_view raw;

    std::string_view content() const {
        std::string_view s = raw;
        if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
        return trim(s);
    }
    // The group name when this line opens a group.
    std::optional<std::string_view> header() const {
        const std::string_view s = content();
        if (s.size() < 2 || s.front() != '[' || s.back() != ']') return std::nullopt;
        return trim(s.substr(1, s.size() - 2));
    }
    bool isComment() const {
        const std::string_view s = content();
        return !s.empty() && (s.front() == ';' || s.front() == '#');
    }
    // Key and value when this line is a key=value pair.
    std::optional<std::pair<std::string_view, std::string_view>> pair() const {
        if (isComment() || header()) return std::nullopt;
        const std::string_view s = content();
        const auto eq = s.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string_view key = trim(s.substr(0, eq));
        if (key.empty()) return std::nullopt;
        return std::make_pair(key, trim(s.substr(eq + 1)));
    }
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        if (nl == std::string_view::npos) {
            lines.push_back({text});
            break;
        }
        lines.push_back({text.substr(0, nl)});
        text.remove_prefix(nl + 1);
    }
    return lines;
}

// Editors on some systems start a UTF-8 file with a byte-order mark; it is
// not part of the first line's text, and a rewrite keeps it.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view withoutBom(std::string_view text) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    return text;
}

bool hasAny(std::string_view s, std::string_view chars) { return s.find_first_of(chars) != std::string_view::npos; }

bool hasEdgeBlanks(std::string_view s) {
    return !s.empty() &&
           (kBlanks.find(s.front()) != std::string_view::npos || kBlanks.find(s.back()) != std::string_view::npos);
}

const std::string_view kLineBreaks("\r\n\0", 3);

void checkWritable(std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || hasAny(section, kLineBreaks) || hasAny(section, "[]") || hasEdgeBlanks(section)) {
        throw Error("section name cannot be stored in an INI file");
    }
    if (key.empty() || hasAny(key, kLineBreaks) || hasAny(key, "=") || hasEdgeBlanks(key) || key.front() == '[' ||
        key.front() == ';' || key.front() == '#') {
        throw Error("key cannot be stored in an INI file");
    }
    if (hasAny(value, kLineBreaks) || hasEdgeBlanks(value)) {
        throw Error("value cannot be stored in an INI file");
    }
}

}  // namespace

std::optional<std::string> findValue(std::string_view text, std::string_view section, std::string_view key) {
    bool inSection = false;
    for (const Line& line : splitLines(withoutBom(text))) {
        if (auto name = line.header()) {
            inSection = *name == section;
        } else if (inSection) {
            if (auto kv = line.pair(); kv && kv->first == key) return std::string(kv->second);
        }
    }
    return std::nullopt;
}

std::string setValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value) {
    checkWritable(section, key, value);
    const std::string newLine = std::string(key) + "=" + std::string(value);
    const std::string_view body = withoutBom(text);
    const std::vector<Line> lines = splitLines(body);

    // The line replaces the key's first line, in whichever group of that
    // name it stands (the one findValue reads); a new key goes after the
    // last non-blank line of the section's first group.
    std::optional<std::size_t> replaceAt;
    std::optional<std::size_t> insertAfter;
    bool inSection = false;
    bool inFirstGroup = false;
    for (std::size_t i = 0; i < lines.size() && !replaceAt; ++i) {
        if (auto name = lines[i].header()) {
            inFirstGroup = *name == section && !insertAfter;
            inSection = *name == section;
            if (inFirstGroup) insertAfter = i;
        } else if (inSection) {
            if (auto kv = lines[i].pair(); kv && kv->first == key)
                replaceAt = i;
            else if (inFirstGroup && !lines[i].content().empty())
                insertAfter = i;
        }
    }

    // New lines end the way the file's first line does; a replaced line
    // keeps its own ending.
    auto endsInCr = [](const Line& line) { return !line.raw.empty() && line.raw.back() == '\r'; };
    const std::string_view eol = !lines.empty() && endsInCr(lines.front()) ? "\r\n" : "\n";

    std::string out(text.substr(0, text.size() - body.size()));
    out.reserve(text.size() + newLine.size() + section.size() + 8);
    auto put = [&out](std::string_view s, std::string_view end) {
        out.append(s);
        out.append(end);
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (replaceAt == i) {
            put(newLine, endsInCr(lines[i]) ? "\r\n" : "\n");
        } else {
            // Only a last line without its line break lacks the '\n' in raw.
            // One that already ends in '\r' needs only the '\n': a second
            // '\r' would become part of its text and spoil a group header.
            const bool unterminated = i + 1 == lines.size() && body.back() != '\n';
            put(lines[i].raw, !unterminated ? "\n" : endsInCr(lines[i]) ? "\n" : eol);
        }
        if (!replaceAt && insertAfter == i) put(newLine, eol);
    }
    if (!replaceAt && !insertAfter) {
        if (!lines.empty() && !lines.back().content().empty()) out.append(eol);
        put("[" + std::string(section) + "]", eol);
        put(newLine, eol);
    }
    return out;
}

}  // namespace ini

namespace {

[[noreturn]] void fail(const std::string& what, int err) {
    throw Error(what + ": " + std::generic_category().message(err));
}

// The file's bytes and permission bits, nothing when it does not exist, or
// the errno that kept it from being read.
struct Loaded {
    bool exists = false;
    int error = 0;
    std::string text;
    mode_t mode = 0;
};

Loaded load(const std::filesystem::path& path) {
    Loaded result;
    // O_NONBLOCK so that a FIFO in the file's place cannot hang the window.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        if (errno != ENOENT) result.error = errno;
        return result;
    }
    result.exists = true;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.error = EINVAL;
        return result;
    }
    if (static_cast<std::size_t>(st.st_size) > IniSettingsStore::kMaxFileSize) {
        result.error = EFBIG;
        return result;
    }
    result.mode = st.st_mode & 07777;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.error = errno;
            result.text.clear();
            return result;
        }
        if (n == 0) break;
        result.text.append(buffer, static_cast<std::size_t>(n));
        // The file grew while being read.
        if (result.text.size() > IniSettingsStore::kMaxFileSize) {
            result.error = EFBIG;
            result.text.clear();
            return result;
        }
    }
    return result;
}

void writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("cannot write settings", errno);
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Makes a new directory's entries durable; a failure here does not undo the
// rename, so it is not reported.
void syncDirectory(const std::filesystem::path& dir) {
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

void replaceFile(const std::filesystem::path& path, std::string_view text, mode_t mode) {
    std::string tmpName = path.string() + ".XXXXXX";
    UniqueFd fd(::mkostemp(tmpName.data(), O_CLOEXEC));
    if (fd.get() < 0) fail("cannot create " + tmpName, errno);

    bool replaced = false;
    const ScopeExit cleanup([&] {
        if (!replaced) ::unlink(tmpName.c_str());
    });

    if (mode != 0 && ::fchmod(fd.get(), mode) != 0) fail("cannot set mode of " + tmpName, errno);
    writeAll(fd.get(), text);
    if (::fsync(fd.get()) != 0) fail("cannot sync " + tmpName, errno);
    if (fd.close() != 0) fail("cannot close " + tmpName, errno);
    if (::rename(tmpName.c_str(), path.c_str()) != 0) fail("cannot replace " + path.string(), errno);
    replaced = true;
    syncDirectory(path.parent_path());
}

// The file a write replaces: the final target of a settings.ini that is a
// symbolic link (dotfiles kept elsewhere), so that the link stays and the
// new file is made beside the one it replaces. A link to nowhere names the
// file to create.
std::filesystem::path throughLinks(std::filesystem::path path) {
    constexpr int kMaxLinks = 40;  // as the kernel's own limit (ELOOP)
    for (int i = 0; i < kMaxLinks; ++i) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) return path;
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec) throw Error("cannot read the link " + path.string() + ": " + ec.message());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    fail("cannot follow " + path.string(), ELOOP);
}

std::optional<std::filesystem::path> configHomeFromEnvironment() {
    auto absolute = [](const char* value) -> std::optional<std::filesystem::path> {
        if (value == nullptr || value[0] != '/') return std::nullopt;
        return std::filesystem::path(value);
    };
    if (auto xdg = absolute(std::getenv("XDG_CONFIG_HOME"))) return xdg;
    if (auto home = absolute(std::getenv("HOME"))) return *home / ".config";
    if (const passwd* pw = ::getpwuid(::getuid())) {
        if (auto home = absolute(pw->pw_dir)) return *home / ".config";
    }
    return std::nullopt;
}

}  // namespace

IniSettingsStore::IniSettingsStore() : configHome_(configHomeFromEnvironment()) {}

IniSettingsStore::IniSettingsStore(std::filesystem::path configHome) : configHome_(std::move(configHome)) {}

std::optional<std::filesystem::path> IniSettingsStore::pathFor(const std::string& application) const {
    if (!configHome_) return std::nullopt;
    if (application.empty() || application == "." || application == ".." ||
        application.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
        return std::nullopt;
    }
    return *configHome_ / application / "settings.ini";
}

std::filesystem::path IniSettingsStore::fileFor(const std::string& application) const {
    auto path = pathFor(application);
    if (!path) throw Error("no settings file for application \"" + application + "\"");
    return *path;
}

std::string IniSettingsStore::read(const std::string& application, const std::string& section, const std::string& key,
                                   const std::string& defaultValue) {
    const auto path = pathFor(application);
    if (!path) return defaultValue;  // nowhere to look: nothing is stored
    const Loaded file = load(*path);
    if (!file.exists || file.error != 0) return defaultValue;
    return ini::findValue(file.text, section, key).value_or(defaultValue);
}

std::string IniSettingsStore::unusable(const std::string& application) const {
    const auto path = pathFor(application);
    if (!path) return {};
    const Loaded file = load(*path);
    switch (file.error) {
    case 0:
        return {};
    case EINVAL:
        return "it is not a regular file";
    case EFBIG:
        return "it is bigger than " + std::to_string(kMaxFileSize) + " bytes";
    default:
        return "it cannot be read: " + std::generic_category().message(file.error);
    }
}

void IniSettingsStore::write(const std::string& application, const std::string& section, const std::string& key,
                             const std::string& value) {
    const std::filesystem::path folder = fileFor(application).parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw Error("cannot create " + folder.string() + ": " + ec.message());
    const std::filesystem::path path = throughLinks(fileFor(application));

    const Loaded file = load(path);
    // Overwriting a file we could not read would throw away whatever it holds.
    if (file.error != 0) fail("cannot read " + path.string(), file.error);
    replaceFile(path, ini::setValue(file.text, section, key, value), file.mode);
}

}  // namespace tovi::platform
