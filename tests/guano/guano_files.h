// The record the GUANO tests write their recordings with.
#pragma once

#include <string>

#include "formats/attribute_record.h"
#include "formats/format_record.h"

// 25000 Hz header rate, E = 10: 250 kHz real; a GPS fix and a comment.
inline hv::FormatWithAttribute GuanoTestRecord(const std::string& comment = "Pond west, 2nd visit") {
  hv::AttributeInputs in;
  in.headerRate = 25000;
  in.expansion = 10;
  in.realRateKHz = 250;
  in.device = "Receiver 7";
  in.start.utcSeconds = 1788460575;  // 2026-09-03 18:36:15 UTC
  in.start.milliseconds = 250;
  in.start.biasMinutes = -120;  // two hours east of UTC
  in.withGps = true;
  in.latitude = "52.123456";
  in.longitude = "-1.654321";
  in.altitude = "87.5";
  in.comment = comment;
  hv::FormatWithAttribute record;
  record.format = hv::MakeWaveFormat(25000, 1, 2, 16);
  record.SetAttribute(hv::ComposeAttribute(in));
  return record;
}
