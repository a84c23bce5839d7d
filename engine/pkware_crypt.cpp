#include "pkware_crypt.h"

#include "platform.h"


#include <random>

namespace {

std::uint32_t Crc32Byte(std::uint32_t crc, unsigned char b) {
    // One step of the CRC-32 register itself (not zlib's finalised value).
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    return crc;
}

}  // namespace

PkwareEncryptor::PkwareEncryptor(std::string_view password, std::uint32_t crc)
    : keys_{0x12345678u, 0x23456789u, 0x34567890u}, crc_(crc) {
    for (char c : password) Update(static_cast<unsigned char>(c));
}

PkwareEncryptor::~PkwareEncryptor() { platform::Wipe(keys_, sizeof keys_); }

void PkwareEncryptor::Update(unsigned char plain) {
    keys_[0] = Crc32Byte(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = Crc32Byte(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
}

unsigned char PkwareEncryptor::EncryptByte(unsigned char plain) {
    std::uint16_t temp = static_cast<std::uint16_t>(keys_[2] | 2);
    unsigned char cipher = plain ^ static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
    Update(plain);
    return cipher;
}

std::string PkwareEncryptor::Header() {
    std::random_device random;
    std::string header(12, '\0');
    for (int i = 0; i < 11; ++i) header[i] = static_cast<char>(random() & 0xFF);
    header[11] = static_cast<char>(crc_ >> 24);
    Encrypt(header.data(), header.size());
    return header;
}

void PkwareEncryptor::Encrypt(char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(EncryptByte(static_cast<unsigned char>(data[i])));
}
