#include "devices/model_table.h"

namespace hv {

namespace {

struct ModelRow {
  const char* prefix;
  ReceiverModel model;
};

const ModelRow kModels[] = {
    {"HX301", {214285.0f, 1}}, {"HQ301", {200000.0f, 4}}, {"HX302", {250000.0f, 1}}, {"HM302", {250000.0f, 1}},
    {"HQ302", {250000.0f, 4}}, {"HX303", {300000.0f, 1}}, {"HP303", {300000.0f, 1}}, {"HQ303", {300000.0f, 4}},
    {"HX304", {375000.0f, 1}}, {"HX305", {400000.0f, 1}}, {"HX306", {500000.0f, 1}},
};

}  // namespace

ReceiverModel LookUpReceiverModel(const std::string& productText) {
  for (const ModelRow& row : kModels)
    if (productText.compare(0, 5, row.prefix) == 0 && productText.size() >= 5) return row.model;
  return {250000.0f, 1};
}

float ReceiverLevelOffset(const std::string& productText) {
  if (productText.size() >= 9 && (productText[8] == 'A' || productText[8] == 'B')) return 19.0f;
  return 14.0f;
}

}  // namespace hv
