#pragma once
// The ids of the BIFF records that the writer emits and the reader knows, by
// the names the Excel file format documentation gives them. Excel 2.1 to 4.0
// used other ids for some of the same records; those carry their version.

#include <cstdint>

namespace flovir::biff {

// Workbook and sheet streams.
constexpr uint16_t kBof = 0x0809;  // Excel 5.0 and 97
constexpr uint16_t kBof2 = 0x0009;
constexpr uint16_t kBof3 = 0x0209;
constexpr uint16_t kBof4 = 0x0409;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kContinue = 0x003C;

// Workbook globals.
constexpr uint16_t kWriteAccess = 0x005C;
constexpr uint16_t kFileSharing = 0x005B;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kCodePage = 0x0042;
constexpr uint16_t kWindowProtect = 0x0019;
constexpr uint16_t kProtect = 0x0012;
constexpr uint16_t kPassword = 0x0013;
constexpr uint16_t kWindow1 = 0x003D;
constexpr uint16_t kBackup = 0x0040;
constexpr uint16_t kHideObj = 0x008D;
constexpr uint16_t kDateMode = 0x0022;
constexpr uint16_t kPrecision = 0x000E;
constexpr uint16_t kRefreshAll = 0x01B7;
constexpr uint16_t kBookBool = 0x00DA;
constexpr uint16_t kFont = 0x0031;
constexpr uint16_t kFont3 = 0x0231;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kFormat2 = 0x001E;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kXf2 = 0x0043;
constexpr uint16_t kXf3 = 0x0243;
constexpr uint16_t kXf4 = 0x0443;
constexpr uint16_t kStyle = 0x0293;
constexpr uint16_t kPalette = 0x0092;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kBundleSheet = 0x008F;  // Excel 4.0 workbooks
constexpr uint16_t kRecalcId = 0x01C1;
constexpr uint16_t kSst = 0x00FC;

// Sheet settings.
constexpr uint16_t kCalcMode = 0x000D;
constexpr uint16_t kCalcCount = 0x000C;
constexpr uint16_t kRefMode = 0x000F;
constexpr uint16_t kIteration = 0x0011;
constexpr uint16_t kDelta = 0x0010;
constexpr uint16_t kSaveRecalc = 0x005F;
constexpr uint16_t kPrintHeaders = 0x002A;
constexpr uint16_t kPrintGridlines = 0x002B;
constexpr uint16_t kGridSet = 0x0082;
constexpr uint16_t kGuts = 0x0080;
constexpr uint16_t kDefaultRowHeight = 0x0225;
constexpr uint16_t kWsBool = 0x0081;
constexpr uint16_t kHeader = 0x0014;
constexpr uint16_t kFooter = 0x0015;
constexpr uint16_t kHCenter = 0x0083;
constexpr uint16_t kVCenter = 0x0084;
constexpr uint16_t kLeftMargin = 0x0026;  // then right, top and bottom, one id apart
constexpr uint16_t kRightMargin = 0x0027;
constexpr uint16_t kTopMargin = 0x0028;
constexpr uint16_t kBottomMargin = 0x0029;
constexpr uint16_t kSetup = 0x00A1;
constexpr uint16_t kDefColWidth = 0x0055;
constexpr uint16_t kColInfo = 0x007D;
constexpr uint16_t kDimensions = 0x0200;
constexpr uint16_t kWindow2 = 0x023E;
constexpr uint16_t kScl = 0x00A0;
constexpr uint16_t kSelection = 0x001D;

// Cells.
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kLabel = 0x0204;
constexpr uint16_t kBlank = 0x0201;
constexpr uint16_t kBoolErr = 0x0205;
constexpr uint16_t kRk = 0x027E;
constexpr uint16_t kRk3 = 0x007E;
constexpr uint16_t kMulRk = 0x00BD;
constexpr uint16_t kMulBlank = 0x00BE;
constexpr uint16_t kRString = 0x00D6;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kFormula = 0x0006;  // Excel 5.0 and 97
constexpr uint16_t kFormula3 = 0x0206;
constexpr uint16_t kFormula4 = 0x0406;
constexpr uint16_t kString = 0x0207;  // a formula's text result
// Excel 2.1's cells.
constexpr uint16_t kBlank2 = 0x0001;
constexpr uint16_t kInteger2 = 0x0002;
constexpr uint16_t kNumber2 = 0x0003;
constexpr uint16_t kLabel2 = 0x0004;
constexpr uint16_t kBoolErr2 = 0x0005;
constexpr uint16_t kString2 = 0x0007;

}  // namespace flovir::biff
