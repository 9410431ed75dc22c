#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken property ends the run the way a crash does, so that libFuzzer keeps the input and the replay fails.
#define FUZZ_CHECK(condition, detail)                                                                                  \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property broken: %s\n%s\n", #condition, qUtf8Printable(QString(detail)));            \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

// The fuzzing engine's entry point, which the replay main calls too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// The code pages the targets run under: the one the program was written for, the usual one on Linux, and a
// single-byte one.
inline QByteArray fuzzCodePage(std::uint8_t selector)
{
    static const char* const Names[] = {"windows-31j", "UTF-8", "windows-1252"};
    return Names[selector % 3];
}

// Bytes as escaped text for a failure message.
inline QString fuzzShow(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toPercentEncoding(" !#$&'()*+,-./:;<=>?@[]^_`{|}~"));
}
