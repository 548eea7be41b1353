#include "settings/log_file_writer.h"

#include <cstdio>
#include <cstring>

#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/time_text.h"
#include "settings/configuration_settings.h"

namespace {

constexpr std::string_view kStatusPrefix = "STATUS:";
constexpr std::string_view kLineEnd = "\r\n";

ConstData BytesOf(std::string_view text) {
    return ConstData(text.data(), text.size());
}

std::string ComposeLine(std::string_view text) {
    std::string line(FormatTimeText(GetCurrentUTCTime(), GetLocalZoneOffset()).View());
    line += " - ";
    line += text;
    return line;
}

}  // namespace

LogFileStatusUpdater::LogFileStatusUpdater(const char* path, unsigned limit) : m_sizeLimit(limit) {
    SetPath(path);
}

void LogFileStatusUpdater::SetPath(const char* path) {
    CriticalSectionGuard guard(m_lock);
    m_path = path ? path : "";
    Reopen();
}

void LogFileStatusUpdater::SetSizeLimit(unsigned limit) {
    CriticalSectionGuard guard(m_lock);
    m_sizeLimit = limit;
}

void LogFileStatusUpdater::Reopen() {
    CriticalSectionGuard guard(m_lock);
    CloseLog();
    OpenLog();
}

void LogFileStatusUpdater::LogMessage(const char* text) {
    WriteLine(text ? text : "", false);
}

void LogFileStatusUpdater::LogStatus(const char* text) {
    WriteLine(text ? text : "", true);
}

void LogFileStatusUpdater::Receive(const Byte* begin, const Byte* end) {
    try {
        CriticalSectionGuard guard(m_lock);
        std::string_view input(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
        // Buffered text is handed over by its length: a full buffer holds no terminating NUL.
        if (kLineBufferSize - m_lineFill < input.size()) {
            if (m_lineFill != 0) WriteLine(std::string_view(m_lineBuffer, m_lineFill), false);
            m_lineFill = 0;
            if (input.size() > kLineBufferSize) {
                WriteLine(input, false);
                return;
            }
        }
        std::memcpy(m_lineBuffer + m_lineFill, input.data(), input.size());
        m_lineFill += input.size();
        if (input.find('\n') != std::string_view::npos) {
            WriteLine(std::string_view(m_lineBuffer, m_lineFill), false);
            m_lineFill = 0;
        }
    } catch (...) {
    }
}

void LogFileStatusUpdater::WriteLine(std::string_view text, bool status) {
    try {
        CriticalSectionGuard guard(m_lock);
        std::string line = ComposeLine(text);
        if (!m_file.IsOpen()) {
            std::fprintf(stderr, status ? "STATUS:%s\n" : "%s\n", line.c_str());
            std::fflush(stderr);
            return;
        }
        if (status) m_writer.Write(BytesOf(kStatusPrefix));
        m_writer.Write(BytesOf(line));
        m_writer.Write(BytesOf(kLineEnd));
        m_file.Flush();
        m_countedSize += line.size();
        RotateIfFull();
    } catch (...) {
        // The line is lost; logging goes on.
    }
}

void LogFileStatusUpdater::OpenLog() {
    m_countedSize = 0;
    if (m_path.empty()) return;
    try {
        m_file.OpenAlways(FileLocation(m_path.c_str()));
        std::uint64_t size = m_file.GetSize();
        m_writer.Attach(m_file, size);
        m_countedSize = size;
    } catch (...) {
        // No file: lines go to standard error until a later SetPath, Reopen or rotation opens one.
        CloseLog();
    }
}

void LogFileStatusUpdater::CloseLog() {
    try {
        m_file.Close();
    } catch (...) {
    }
    m_countedSize = 0;
}

void LogFileStatusUpdater::RotateIfFull() {
    if (!m_file.IsOpen() || m_sizeLimit == 0 || m_countedSize < m_sizeLimit) return;
    try {
        CloseLog();
        unsigned target = static_cast<unsigned>(m_rotations % kRotatedFiles);
        ++m_rotations;
        if (m_rotations == 1 && FileItem().Lookup(FileLocation(RotatedPath(0).c_str()))) {
            target = ResumedRotationTarget();
            m_rotations = target + 1;
        }
        ReplacePath(FileLocation(m_path.c_str()), FileLocation(RotatedPath(target).c_str()));
    } catch (...) {
        // The rotation is given up; the log goes on in whatever file can be opened.
    }
    OpenLog();
}

unsigned LogFileStatusUpdater::ResumedRotationTarget() const {
    unsigned choice = 0;
    FileItem oldest(FileLocation(RotatedPath(0).c_str()));
    TimeValue oldestTime = oldest.GetLastWriteTime();
    for (unsigned number = 1; number < kRotatedFiles; ++number) {
        FileItem item;
        if (!item.Lookup(FileLocation(RotatedPath(number).c_str()))) return number;
        // On equal times the earlier name stays the choice.
        if (item.GetLastWriteTime() < oldestTime) {
            choice = number;
            oldestTime = item.GetLastWriteTime();
        }
    }
    return choice;
}

std::string LogFileStatusUpdater::RotatedPath(unsigned number) const {
    return m_path + "_" + std::to_string(number);
}

void LogFileStatusUpdaterLogWriter::WriteMessages(std::vector<std::string>& messages) {
    for (const std::string& message : messages) m_updater->LogMessage(message.c_str());
}

bool ReadVerboseLogSetting() {
    return ConfigurationNumber(2, "KVRRelay", "Log", "Verbose", 0).GetValue() != 0;
}
