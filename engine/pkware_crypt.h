// Traditional PKWARE encryption as a decorator: bytes pass through Encrypt
// on their way to the archive. The first twelve bytes of an entry's data are
// the encryption header, whose last byte is the high byte of the CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class PkwareEncryptor {
public:
    PkwareEncryptor(std::string_view password, std::uint32_t crc);
    ~PkwareEncryptor();
    PkwareEncryptor(const PkwareEncryptor&) = delete;
    PkwareEncryptor& operator=(const PkwareEncryptor&) = delete;

    // The twelve-byte header, already encrypted; call once, before the data.
    std::string Header();
    void Encrypt(char* data, std::size_t size);

private:
    unsigned char EncryptByte(unsigned char plain);
    void Update(unsigned char plain);

    std::uint32_t keys_[3];
    std::uint32_t crc_;
};
