// Test helpers around compressed files: writing one through the relay's writer, reading one back
// through its reader, and contents of known shapes.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "formats/compressed_file.h"
#include "foundation/file_writer.h"

// `length` bytes that compress well (repeated words) or not at all (random), from a fixed seed.
inline std::string CompressibleText(std::size_t length) {
    std::string text;
    std::mt19937 random(7);
    const char* words[] = {"relay ", "report ", "site ", "gather ", "\r\n", "0123456789 "};
    while (text.size() < length) text += words[random() % 6];
    text.resize(length);
    return text;
}

inline std::string RandomBytes(std::size_t length, unsigned seed = 11) {
    std::string bytes(length, '\0');
    std::mt19937 random(seed);
    for (char& byte : bytes) byte = static_cast<char>(random());
    return bytes;
}

// Writes `content` as a "##SC001" file, in chunks of `chunk` bytes, through a file sink.
inline void WriteCompressedFile(const FileLocation& file, const std::string& content,
                                std::size_t chunk = 4096) {
    PosixPlatform::FileWritingPath path(file);
    FileDataSink sink(path, 0);
    CompressedFileWriter writer(sink, file);
    writer.Begin();
    for (std::size_t from = 0; from < content.size(); from += chunk) {
        ConstData piece(content.data() + from, std::min(chunk, content.size() - from));
        writer.Receive(piece);
    }
    writer.End();
}

// Everything the reader still has, read through ReadSome ranges of `room` bytes.
inline std::string ReadToEnd(DataReader& reader, std::size_t room) {
    std::string content;
    std::string buffer(room, '\0');
    while (reader.HasMore()) {
        OutputRange free(buffer.data(), buffer.data() + buffer.size());
        reader.ReadSome(free);
        content.append(buffer.data(), reinterpret_cast<char*>(free.begin));
    }
    return content;
}

// Reads the content of a compressed file through ReadSome ranges of `room` bytes.
inline std::string ReadCompressedFile(const FileLocation& file, std::size_t room = 4096) {
    CompressedFileReader reader;
    reader.Open(file);
    return ReadToEnd(reader, room);
}
