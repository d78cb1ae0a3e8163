// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace gv::vonk {

// Random access to a file's bytes, so the matcher reads only the parts its
// rules ask for and never a whole large file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to `n` bytes at `offset`; returns how many were read (fewer at
    // the end of the file or on a read error).
    virtual std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) = 0;
};

// An open file descriptor, read with pread. Does not own the descriptor.
class FdSource final : public ByteSource {
public:
    FdSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    std::uint64_t size() const override { return m_size; }
    std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;

private:
    int m_fd;
    std::uint64_t m_size;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> data) : m_data(data) {}
    std::uint64_t size() const override { return m_data.size(); }
    std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;

private:
    std::span<const std::uint8_t> m_data;
};

} // namespace gv::vonk
