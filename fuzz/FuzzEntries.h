#pragma once
#include <cstddef>
#include <cstdint>

// Fuzz entry points shared by the libFuzzer executables and the corpus replay tests. Each takes
// one input, runs it through the code under test, checks what that code promises (fuzzExpect)
// and returns 0. None of them opens a real serial device.

// S19 file read from disk, its records applied in order to a recording 64 KB target and
// written back out as S19 text that must read back to the same records.
int fuzzS19Load(const uint8_t* data, size_t size);
// parseNumber in every default base, against values computed independently for plain inputs.
int fuzzNumberParse(const uint8_t* data, size_t size);
// SerialPort::open with a mode text naming only devices that do not exist, then the same text
// against a port already open on a pseudo-terminal, which must stay open unchanged.
int fuzzSerialMode(const uint8_t* data, size_t size);
// The talker file check of the RAM and ROM start-ups: a file of fuzzed kind, name and contents.
int fuzzTalkerFile(const uint8_t* data, size_t size);
// One talker protocol operation whose replies are the fuzz input, against a model of the protocol.
int fuzzTalkerReply(const uint8_t* data, size_t size);
// The linker's ELF program (sections, symbols, DWARF line table) read from an image and from a
// file: a clear refusal with nothing kept, or records and lines inside the address space.
int fuzzElfProgram(const uint8_t* data, size_t size);

// Qt: the assembler listing read line by line, as the Load S19 command shows it.
int fuzzListingReader(const uint8_t* data, size_t size);
// Qt: the settings store file read by the application's loaders, then saved and read back.
int fuzzSettingsStore(const uint8_t* data, size_t size);
