#include "VerticalDatums.h"

namespace veltrana {

const TDatumRecord VerticalDatums[VerticalDatumCount] = {
    {vdNone, "", "None", "Outside Model"},
    {vdOrdnanceDatumNewlyn, "ODN", "Ordnance Datum Newlyn", "UK Mainland"},
    {vdStMarys, "MAR", "St Marys", "Scilly Isles"},
    {vdDouglas02, "DOU", "Douglas02", "Isle of Man"},
    {vdStornoway, "STO", "Stornoway", "Outer Hebrides"},
    {vdStKilda, "KIL", "St Kilda", "St Kilda"},
    {vdLerwick, "LER", "Lerwick", "Shetland Isles"},
    {vdOrkney, "ORK", "Orkney (Newlyn)", "Orkney Isles"},
    {vdFairIsle, "FAI", "Fair Isle", "Fair Isle"},
    {vdFlannanIsles, "FLA", "Flannan Isles", "Flannan Isles"},
    {vdNorthRona, "NRO", "North Rona", "North Rona"},
    {vdSuleSkerry, "SSK", "Sule Skerry", "Sule Skerry"},
    {vdFoula, "FOU", "Foula", "Foula"},
    {vdMalinHead, "MAL", "Malin Head", "Republic of Ireland"},
    {vdBelfast, "BEL", "Belfast", "Northern Ireland"},
    {vdOffshore, "OFF", "Ordnance Datum Newlyn (Offshore)", "UK Offshore"},
    {vdOutside, "OUT", "Outside Official Transformation Extent", "UK Outside Extent"},
};

namespace {
const TDatumRecord* RecordOf(int Code) {
  for (const TDatumRecord& R : VerticalDatums)
    if (R.Code == Code) return &R;
  return nullptr;
}
}  // namespace

std::string VerticalDatumAbbreviation(int Code) {
  const TDatumRecord* R = RecordOf(Code);
  return R != nullptr ? R->Abbreviation : "";
}

std::string VerticalDatumName(int Code) {
  const TDatumRecord* R = RecordOf(Code);
  return R != nullptr ? R->Name : "";
}

TVerticalDatumCode VerticalDatumFromName(const std::string& Text) {
  for (const TDatumRecord& R : VerticalDatums)
    if (Text == R.Name) return R.Code;
  return vdNone;
}

}  // namespace veltrana
