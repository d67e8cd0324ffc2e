// Test helper: WAV files laid out the way other recorders and editors write
// them, built byte by byte, so the format cases they bring never depend on
// files from outside the project.
//
// A WAV file is "RIFF", u32 size of all that follows, "WAVE", then chunks: a
// 4-byte id, a u32 little-endian body size, the body and one pad byte after a
// body of odd size. Other recorders add chunks of their own around "fmt " and
// "data": LIST/INFO texts (INFO, then sub-chunks such as ICMT or INAM, each a
// NUL-ended text padded to an even size), "id3 " tags, "fact", and GUANO
// metadata ("guan": UTF-8 "Key: value" lines) before or after the data. Some
// leave out the pad byte after an odd last chunk.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/le_bytes.h"
#include "support/files.h"

namespace hv::test {

// A RIFF/WAVE image, chunk by chunk in the order they are added.
class RiffImage {
 public:
  RiffImage() : bytes_{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'} {}
  // Adds a chunk; `pad` false leaves out the pad byte after an odd body.
  RiffImage& Add(const std::string& id, const std::string& body, bool pad = true) {
    return Add(id, std::vector<uint8_t>(body.begin(), body.end()), pad);
  }
  RiffImage& Add(const std::string& id, const std::vector<uint8_t>& body, bool pad = true) {
    bytes_.insert(bytes_.end(), id.begin(), id.end());
    uint8_t size[4];
    PutLe32(size, uint32_t(body.size()));
    bytes_.insert(bytes_.end(), size, size + 4);
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) bytes_.push_back(0);
    return *this;
  }
  // The whole image, its RIFF size counting every byte after the first eight.
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> b = bytes_;
    PutLe32(&b[4], uint32_t(b.size() - 8));
    return b;
  }

 private:
  std::vector<uint8_t> bytes_;
};

// The 16-byte body of a PCM "fmt " chunk: 16-bit samples.
inline std::vector<uint8_t> PcmFormatBody(uint32_t rate, uint16_t channels = 1) {
  std::vector<uint8_t> b(16);
  PutLe16(&b[0], 1), PutLe16(&b[2], channels), PutLe32(&b[4], rate);
  PutLe32(&b[8], rate * 2u * channels), PutLe16(&b[12], uint16_t(2 * channels)), PutLe16(&b[14], 16);
  return b;
}

// A LIST/INFO body: "INFO", then each (id, text) as a NUL-ended sub-chunk,
// padded to an even size; `room` > 0 pads a text with NULs to that many bytes
// (recorders that reserve a fixed comment field).
inline std::string ListInfoBody(const std::vector<std::pair<std::string, std::string>>& fields, size_t room = 0) {
  std::string b = "INFO";
  for (const auto& [id, text] : fields) {
    std::string body = text + '\0';
    if (body.size() < room) body.resize(room, '\0');
    uint8_t size[4];
    PutLe32(size, uint32_t(body.size()));
    b += id + std::string(reinterpret_cast<char*>(size), 4) + body;
    if (body.size() & 1) b += '\0';
  }
  return b;
}

// An ID3v2.4 tag with one TIT2 (title) frame, as audio editors append it.
inline std::string Id3TagBody(const std::string& title) {
  std::string frame = std::string("\x03", 1) + title + '\0';  // UTF-8 text, NUL-ended
  auto syncsafe = [](size_t n) {
    std::string s(4, '\0');
    for (int i = 3; i >= 0; --i, n >>= 7) s[size_t(i)] = char(n & 0x7F);
    return s;
  };
  std::string frames = "TIT2" + syncsafe(frame.size()) + std::string(2, '\0') + frame;
  return std::string("ID3\x04\x00\x00", 6) + syncsafe(frames.size()) + frames;
}

// One file in another recorder's layout, with what the station should make of it.
struct RecorderFile {
  std::string name;
  std::vector<std::string> chunks;  // the chunk ids in file order
  uint32_t headerRate = 0;
  uint32_t realRate = 0;            // the header rate times the GUANO TE factor
  std::string guano;                // the GUANO text ("": none)
  std::string device;               // the device the station shows
  std::string utcStart;             // "YYYY-MM-DD hh:mm:ss.mmm" ("": the file has no time)
  int biasMinutes = 0;              // minutes to add to local time for UTC
  std::string position;             // GUANO Loc Position ("": none)
  std::vector<uint8_t> data;        // the data chunk's bytes
  std::vector<uint8_t> image;       // the whole file
};

// 16-bit samples counting up from `first`: any byte taken from the wrong
// place of a file shows.
inline std::vector<uint8_t> CountingData(size_t samples, uint16_t first) {
  std::vector<uint8_t> d(2 * samples);
  for (size_t i = 0; i < samples; ++i) PutLe16(&d[2 * i], uint16_t(first + i));
  return d;
}

// The layouts of recordings met in the field, `seconds` long each (real time),
// at real rates of 192000 to 500000 Hz. `data(samples, headerRate)` gives the
// data chunk's bytes (counting samples unless given).
template <class MakeData>
std::vector<RecorderFile> RecorderFiles(double seconds, MakeData data) {
  std::vector<RecorderFile> files;
  auto file = [](std::string name, uint32_t headerRate, uint32_t realRate, std::string guano, std::string device,
                 std::string utcStart = "", int bias = 0, std::string position = "") {
    RecorderFile f;
    f.name = std::move(name), f.headerRate = headerRate, f.realRate = realRate, f.guano = std::move(guano);
    f.device = std::move(device), f.utcStart = std::move(utcStart), f.biasMinutes = bias;
    f.position = std::move(position);
    return f;
  };
  auto add = [&](RecorderFile f, const std::vector<std::pair<std::string, std::string>>& before,
                 const std::vector<std::pair<std::string, std::string>>& after, bool padLast = true) {
    f.data = data(size_t(seconds * f.realRate), f.headerRate);
    RiffImage image;
    image.Add("fmt ", PcmFormatBody(f.headerRate));
    f.chunks = {"fmt "};
    for (const auto& [id, body] : before) image.Add(id, body), f.chunks.push_back(id);
    image.Add("data", f.data), f.chunks.push_back("data");
    for (size_t i = 0; i < after.size(); ++i)
      image.Add(after[i].first, after[i].second, padLast || i + 1 < after.size()), f.chunks.push_back(after[i].first);
    f.image = image.Bytes();
    files.push_back(std::move(f));
  };

  // A field recorder: a fixed-room LIST/INFO comment before the data, GUANO
  // after it ("Key:value" without spaces, a time with its offset, a vendor
  // namespace), odd-sized and last, its pad byte left out.
  const std::string greenway =
      "GUANO|Version:1.0\nMake:Greenway Acoustics\nModel:Nightjar\nSerial:24E144055E080032\n"
      "Firmware Version:Nightjar-Basic (1.10.1)\nTimestamp:2024-09-03T20:26:15+01:00\n"
      "Original Filename:20240903_202615T.WAV\nGWA|Battery Voltage:4.2\nTemperature Int:19.3";
  add(file("list-before-guan-after-250k.wav", 250000, 250000, greenway, "Greenway Acoustics Nightjar",
           "2024-09-03 19:26:15.000", -60),
      {{"LIST", ListInfoBody({{"ICMT", "Recorded at 20:26:15 03/09/2024 (UTC+1) at medium gain."},
                              {"IART", "Nightjar 24E144055E080032"}},
                             384)}},
      {{"guan", greenway}}, false);

  // A triggered logger: GUANO after the data, "Key: value", a local time
  // without offset, a position and a nested namespace.
  const std::string riverside =
      "GUANO|Version: 1.0\nMake: Riverside\nModel: L2\nSerial: 22060166\nFirmware Version: 1.1.0\n"
      "Timestamp: 2024-05-31T22:39:11\nLength: 4.03\nTemperature Ext: 15.4\n"
      "Loc Position: 49.093119 5.047867\nRIVERSIDE|Trigger|Frequency: 75.4";
  add(file("guan-after-312k.wav", 312500, 312500, riverside, "Riverside L2", "2024-05-31 22:39:11.000", 0,
           "49.093119 5.047867"),
      {}, {{"guan", riverside}});

  // The plain form: fmt and data only.
  add(file("plain-500k.wav", 500000, 500000, "", "<No device found>"), {}, {});

  // An editor's selection: LIST/INFO (odd-sized texts) and an id3 tag after the data.
  add(file("list-id3-after-192k.wav", 192000, 192000, "", "<No device found>"),
      {},
      {{"LIST", ListInfoBody({{"INAM", "20230322_172000_selec2"}, {"ITRK", "2"}})},
       {"id3 ", Id3TagBody("20230322_172000_selec2")}});

  // A time-expanding recorder: header rate 48000 with TE 8, GUANO before the
  // data, CRLF lines, a time with fractional seconds and a negative offset.
  const std::string expanding =
      "GUANO|Version: 1.0\r\nMake: Kestrel Labs\r\nModel: TE-8\r\nTE: 8\r\n"
      "Timestamp: 2023-06-01T23:12:08.125-04:00\r\nLoc Position: -33.8568 151.2153\r\n"
      "Samplerate: 384000\r\n";
  add(file("guan-before-te8-384k.wav", 48000, 384000, expanding, "Kestrel Labs TE-8", "2023-06-02 03:12:08.125",
           240, "-33.8568 151.2153"),
      {{"guan", expanding}}, {});

  // An edited file: an odd-sized id3 tag, LIST/INFO and fact before the data,
  // a junk chunk and GUANO (a UTC time with a tenth of a second) after it.
  const std::string edited =
      "GUANO|Version:1.0\nMake:Wildlife Audio\nTimestamp:2021-07-14T01:02:03.5Z\nNote:edited\n";
  add(file("id3-before-guan-after-256k.wav", 256000, 256000, edited, "Wildlife Audio", "2021-07-14 01:02:03.500"),
      {{"id3 ", Id3TagBody("cut 1")}, {"LIST", ListInfoBody({{"ISFT", "Editor 3"}})}, {"fact", std::string(4, '\0')}},
      {{"junk", std::string(7, 'j')}, {"guan", edited}});
  return files;
}

inline std::vector<RecorderFile> RecorderFiles(double seconds = 0.5) {
  uint16_t first = 0;
  return RecorderFiles(seconds, [&](size_t samples, uint32_t) {
    first = uint16_t(first + 7919);
    return CountingData(samples, first);
  });
}

// The file of that name (an empty one when there is none).
inline RecorderFile RecorderFileNamed(const std::string& name, double seconds = 0.5) {
  for (RecorderFile& f : RecorderFiles(seconds))
    if (f.name == name) return std::move(f);
  return RecorderFile();
}

// Writes each file into `folder` under its name.
inline void WriteRecorderFiles(const std::string& folder, const std::vector<RecorderFile>& files) {
  for (const RecorderFile& f : files) WriteAllBytes(folder + "/" + f.name, f.image);
}

}  // namespace hv::test
