#include "profile/ProfileFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A NUL or CR byte inside a value reads as a blank, the way setString stores it, so
// that a value read from a damaged file writes back and reads again unchanged.
std::string valueText(std::string_view s)
{
    std::string v(s);
    for (char& c : v)
        if (c == '\0' || c == '\r')
            c = ' ';
    return std::string(trim(v));
}

// Folds ASCII letters only: names in files written on Windows are compared the way
// its profile functions compare them, and other bytes must never merge.
std::string fold(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string systemError(const std::string& what, const std::string& path, int err)
{
    return what + " " + path + ": " + std::strerror(err);
}

// Closes a descriptor and removes the temporary file unless released.
class TempFile {
public:
    TempFile(std::string path, int fd)
        : m_path(std::move(path))
        , m_fd(fd)
    {
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_released)
            ::unlink(m_path.c_str());
    }
    int fd() const { return m_fd; }
    int closeFd()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc;
    }
    void release() { m_released = true; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    int m_fd;
    bool m_released = false;
};

// Symbolic links are followed, so that a linked velkor.ini is updated in place of
// being replaced by a plain file.
std::string resolveTarget(const std::string& path)
{
    struct stat st { };
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the temporary files that saves of target by processes no longer running left
// behind (killed or crashed between creating the file and renaming it).
void removeStaleTemporaries(const std::string& target)
{
    const std::string dir = directoryOf(target);
    const size_t slash = target.rfind('/');
    const std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp-";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '-' || pid == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlink((dir + "/" + name).c_str());
    }
    ::closedir(d);
}

} // namespace

std::optional<int32_t> ProfileFile::leadingInt(std::string_view text)
{
    text = trim(text);
    if (text.empty())
        return std::nullopt;
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10u + static_cast<uint32_t>(c - '0');
    }
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

ProfileFile ProfileFile::parse(std::string_view text)
{
    ProfileFile profile;
    profile.addSection("", false, "");
    bool first = true;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view raw = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        // Stray CRs before the line end (a file converted to CRLF twice) belong to
        // the line end too: kept in the line, they would be lost at the next save.
        if (!raw.empty() && raw.back() == '\r') {
            while (!raw.empty() && raw.back() == '\r')
                raw.remove_suffix(1);
            if (first)
                profile.m_crlf = true;
        }
        first = false;

        const std::string_view t = trim(raw);
        if (!t.empty() && t.front() == '[') {
            const size_t close = t.rfind(']');
            if (close != std::string_view::npos) {
                profile.addSection(std::string(trim(t.substr(1, close - 1))), true, std::string(raw));
                continue;
            }
        }
        Line line;
        line.raw = std::string(raw);
        if (!t.empty() && t.front() != ';') {
            const size_t eq = t.find('=');
            line.key = std::string(trim(t.substr(0, eq)));
            if (eq != std::string_view::npos)
                line.value = valueText(t.substr(eq + 1));
            line.isEntry = !line.key.empty();
        }
        Section& section = profile.m_sections.back();
        if (line.isEntry)
            section.index.try_emplace(fold(line.key), section.lines.size());
        section.lines.push_back(std::move(line));
    }
    return profile;
}

velkor::Result<ProfileFile> ProfileFile::load(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return ProfileFile();
        return velkor::fail(systemError("Cannot read", path, err));
    }
    std::string content;
    struct stat st { };
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return velkor::fail(systemError("Cannot read", path, EISDIR));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            return velkor::fail(systemError("Cannot read", path, err));
        }
        if (got == 0)
            break;
        content.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    ProfileFile profile = parse(content);
    profile.m_existed = true;
    return profile;
}

std::string ProfileFile::text() const
{
    const char* eol = m_crlf ? "\r\n" : "\n";
    std::string out;
    for (const Section& section : m_sections) {
        if (section.hasHeader)
            out.append(section.headerRaw).append(eol);
        for (const Line& line : section.lines)
            out.append(line.raw).append(eol);
    }
    return out;
}

velkor::Status ProfileFile::save(const std::string& path) const
{
    static std::atomic<unsigned> counter{0};
    const std::string target = resolveTarget(path);
    const std::string content = text();

    std::string tmpPath;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmpPath = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return velkor::fail(systemError("Cannot write", path, errno));
    TempFile tmp(tmpPath, fd);

    // The new file keeps the permissions of the one it replaces.
    struct stat st { };
    if (::stat(target.c_str(), &st) == 0)
        ::fchmod(tmp.fd(), st.st_mode & 07777);

    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(tmp.fd(), p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return velkor::fail(systemError("Cannot write", path, errno));
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(tmp.fd()) != 0 || tmp.closeFd() != 0)
        return velkor::fail(systemError("Cannot write", path, errno));
    if (::rename(tmp.path().c_str(), target.c_str()) != 0)
        return velkor::fail(systemError("Cannot write", path, errno));
    tmp.release();

    removeStaleTemporaries(target);

    // Make the rename itself durable; a failure here cannot undo it and is ignored.
    const int dir = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

void ProfileFile::addSection(std::string name, bool hasHeader, std::string headerRaw)
{
    m_sectionIndex.try_emplace(fold(name), m_sections.size());
    m_sections.push_back(Section{std::move(name), hasHeader, std::move(headerRaw), {}, {}});
}

void ProfileFile::reindex(Section& section)
{
    section.index.clear();
    for (size_t i = 0; i < section.lines.size(); ++i)
        if (section.lines[i].isEntry)
            section.index.try_emplace(fold(section.lines[i].key), i);
}

const ProfileFile::Section* ProfileFile::findSection(std::string_view name) const
{
    const auto it = m_sectionIndex.find(fold(trim(name)));
    return it == m_sectionIndex.end() ? nullptr : &m_sections[it->second];
}

ProfileFile::Section* ProfileFile::findSection(std::string_view name)
{
    return const_cast<Section*>(std::as_const(*this).findSection(name));
}

const ProfileFile::Line* ProfileFile::findLine(const Section& section, std::string_view key) const
{
    const auto it = section.index.find(fold(trim(key)));
    return it == section.index.end() ? nullptr : &section.lines[it->second];
}

std::optional<std::string> ProfileFile::get(std::string_view section, std::string_view key) const
{
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    const Line* line = findLine(*s, key);
    if (!line)
        return std::nullopt;
    return line->value;
}

std::string ProfileFile::getString(std::string_view section, std::string_view key, std::string_view def) const
{
    std::optional<std::string> value = get(section, key);
    return value ? std::move(*value) : std::string(def);
}

int32_t ProfileFile::getInt(std::string_view section, std::string_view key, int32_t def) const
{
    const std::optional<std::string> value = get(section, key);
    if (!value)
        return def;
    return leadingInt(*value).value_or(def);
}

void ProfileFile::setString(std::string_view section, std::string_view key, std::string_view value)
{
    section = trim(section);
    key = trim(key);
    // A ']' inside the name is fine: a header is read up to its last ']'.
    if (section.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw std::invalid_argument("profile section name holds a character a section line cannot hold");
    if (key.empty() || key.front() == '[' || key.front() == ';' ||
        key.find_first_of(std::string_view("=\r\n\0", 4)) != std::string_view::npos)
        throw std::invalid_argument("profile key name is empty or holds a character a key line cannot hold");

    std::string clean(value);
    for (char& c : clean)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    clean = std::string(trim(clean));

    if (m_sections.empty())
        addSection("", false, "");
    Section* s = findSection(section);
    if (!s) {
        addSection(std::string(section), true, "[" + std::string(section) + "]");
        s = &m_sections.back();
    }
    const auto it = s->index.find(fold(key));
    if (it != s->index.end()) {
        Line& line = s->lines[it->second];
        line.value = clean;
        line.raw = line.key + "=" + clean;
        return;
    }

    Line line;
    line.key = std::string(key);
    line.value = clean;
    line.raw = line.key + "=" + clean;
    line.isEntry = true;
    // New keys follow the section's last key, so blank lines and comments that
    // separate it from the next section stay where they are.
    size_t pos = s->lines.size();
    while (pos > 0 && !s->lines[pos - 1].isEntry)
        --pos;
    if (pos == 0)
        pos = s->lines.size();
    const std::string folded = fold(key);
    if (pos == s->lines.size()) {
        s->index.emplace(folded, s->lines.size());
        s->lines.push_back(std::move(line));
    } else {
        s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(pos), std::move(line));
        reindex(*s);
    }
}

bool ProfileFile::removeKey(std::string_view section, std::string_view key)
{
    Section* s = findSection(section);
    if (!s)
        return false;
    const auto it = s->index.find(fold(trim(key)));
    if (it == s->index.end())
        return false;
    s->lines.erase(s->lines.begin() + static_cast<std::ptrdiff_t>(it->second));
    reindex(*s);
    return true;
}

bool ProfileFile::removeSection(std::string_view section)
{
    const std::string folded = fold(trim(section));
    bool removed = false;
    for (size_t i = m_sections.size(); i-- > 0;) {
        if (m_sections[i].hasHeader && fold(m_sections[i].name) == folded) {
            m_sections.erase(m_sections.begin() + static_cast<std::ptrdiff_t>(i));
            removed = true;
        }
    }
    if (removed) {
        m_sectionIndex.clear();
        for (size_t i = 0; i < m_sections.size(); ++i)
            m_sectionIndex.try_emplace(fold(m_sections[i].name), i);
    }
    return removed;
}

std::vector<std::string> ProfileFile::sections() const
{
    std::vector<std::string> names;
    for (size_t i = 0; i < m_sections.size(); ++i) {
        const Section& s = m_sections[i];
        // Only the first of duplicate sections is listed.
        if (s.hasHeader && m_sectionIndex.at(fold(s.name)) == i)
            names.push_back(s.name);
    }
    return names;
}

std::vector<std::string> ProfileFile::keys(std::string_view section) const
{
    std::vector<std::string> names;
    const Section* s = findSection(section);
    if (!s)
        return names;
    for (size_t i = 0; i < s->lines.size(); ++i) {
        const Line& line = s->lines[i];
        if (line.isEntry && s->index.at(fold(line.key)) == i)
            names.push_back(line.key);
    }
    return names;
}

} // namespace velkor
