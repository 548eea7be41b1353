#include "formats/file_appending_data_sink.h"

FileAppendingDataSink::~FileAppendingDataSink() {
    try {
        Abandon();
    } catch (...) {
    }
}

void FileAppendingDataSink::Abandon() {
    if (!m_path.IsOpen()) return;
    m_path.SetLength(m_lengthAtBegin);
    m_path.Close();
}

void FileAppendingDataSink::Open(const FileLocation& location) {
    Abandon();
    m_location = location;
}

void FileAppendingDataSink::Begin() {
    Abandon();
    m_path.OpenAlways(m_location);
    m_lengthAtBegin = m_path.GetSize();
    m_writer.Attach(m_path, m_lengthAtBegin);
}

void FileAppendingDataSink::End() {
    m_path.Flush();
    m_path.Close();
}
