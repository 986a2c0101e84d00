#pragma once

#include <cstdint>

// The main window as it was drawn, in twips (1/1440 inch), and its colours as the platform's
// RGB word &H00BBGGRR&. Tab order follows the declaration order below.
namespace app::layout {

struct TwipsRect {
  int left, top, width, height;
};

inline constexpr const char* kCaption = "Aggiornamento database";
inline constexpr int kClientWidth = 7545;
inline constexpr int kClientHeight = 8280;

inline constexpr TwipsRect kTxt[2] = {{45, 465, 7425, 330}, {45, 1065, 7425, 330}};
inline constexpr TwipsRect kCmdEsegui = {4410, 40, 1530, 375};
inline constexpr TwipsRect kCmdFine = {5925, 40, 1530, 375};
inline constexpr TwipsRect kLabel3 = {225, 1425, 2445, 255};
inline constexpr TwipsRect kLabel2 = {225, 810, 2700, 255};
inline constexpr TwipsRect kLabel1 = {225, 180, 2430, 255};
inline constexpr TwipsRect kList1 = {45, 1725, 7395, 6495};
inline constexpr TwipsRect kCmdVerifica = {2890, 45, 1530, 375};

inline constexpr const char* kEseguiCaption = "&ESEGUI";
inline constexpr const char* kFineCaption = "&USCITA";
inline constexpr const char* kVerificaCaption = "&VERIFICA";
inline constexpr const char* kLabel1Caption = "Database aggiornato ";
inline constexpr const char* kLabel2Caption = "Database da aggiornare";
inline constexpr const char* kLabel3Caption = "Aggiornamenti eseguiti";

inline constexpr uint32_t kPathBoxBack = 0xC0FFFF;  // pale yellow
inline constexpr uint32_t kEseguiBack = 0xC8D8C8;   // pale green; also the exit button after an unattended success
inline constexpr uint32_t kFineBack = 0xC6BAEF;     // pale pink
inline constexpr uint32_t kVerificaBack = 0xC0E0FF; // pale orange

inline constexpr const char* kPathBoxFont = "Arial";
inline constexpr double kPathBoxPoints = 9;
inline constexpr const char* kLabelFont = "MS Sans Serif";
inline constexpr double kLabelPoints = 9.75;

// The resize rule's limits, on the outer size (border and caption included).
inline constexpr int kMinOuterWidth = 7785;
inline constexpr int kMinOuterHeight = 5800;
inline constexpr int kListBottomGap = 60;
inline constexpr int kPathBoxRightGap = 80;

}  // namespace app::layout
