// A log writer for tests: takes the categories it is told to, formats a message as "<category>: <text>"
// and keeps every batch it is handed. Safe to inspect from the test thread while the manager runs.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/log_manager.h"

class RecordingLogWriter : public LogWriter {
  public:
    explicit RecordingLogWriter(std::set<std::string> categories) : m_categories(std::move(categories)) {}

    void SetCategories(std::set<std::string> categories) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_categories = std::move(categories);
    }
    // Every message written so far, in order.
    std::vector<std::string> Written() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_written;
    }
    int FormatCount() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_formatCount;
    }

    bool AcceptsCategory(const std::string& category) override {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_categories.count(category) != 0;
    }
    std::string FormatMessage(const std::string& category, const std::string& text) override {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_formatCount;
        return category + ": " + text;
    }
    void WriteMessages(std::vector<std::string>& messages) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_written.insert(m_written.end(), messages.begin(), messages.end());
    }

  private:
    std::mutex m_lock;
    std::set<std::string> m_categories;
    std::vector<std::string> m_written;
    int m_formatCount = 0;
};
