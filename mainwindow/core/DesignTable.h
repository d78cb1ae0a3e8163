// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's design as numbers and texts, without any toolkit: the
// places (in twips), texts, fonts and colours every window edition builds
// its controls from. Texts are UTF-8.

namespace gv::design {

struct Twips {
    int left, top, width, height;
};

struct Font {
    const char* face;
    double points;
    bool bold = false;
    bool underline = false;
};

struct Rgb {
    unsigned char r, g, b;
};

// Twips to pixels at 96 dots per inch, rounded to the nearest pixel.
constexpr int pixels(int twips)
{
    return (twips * 2 + 15) / 30;
}

// The designed client area: 8790 x 6015 twips.
inline constexpr int kClientWidth = 586;
inline constexpr int kClientHeight = 401;

inline constexpr const char* kCaption = "VONK Gui";

inline constexpr Font kFormFont{"MS Sans Serif", 8.25};
inline constexpr Font kTitleFont{"Tahoma", 8.25, true};
inline constexpr Font kHeaderWordFont{"MS Sans Serif", 18, true};
inline constexpr Font kCommandFont{"Lucida Console", 8.25, true};
inline constexpr Font kConsoleFont{"Lucida Console", 8.25};
inline constexpr Font kBoldButtonFont{"MS Sans Serif", 8.25, true};
inline constexpr Font kRedLineFont{"Arial", 6.75, true};
inline constexpr Font kDistributionFont{"Arial", 6.75, true, true};
inline constexpr Font kLinkFont{"MS Sans Serif", 8.25, false, true};

inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kTitleOrange{255, 128, 0};
inline constexpr Rgb kDarkRed{128, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kLinkBlue{0, 0, 255};
inline constexpr Rgb kAboutBlue{0, 0, 192};
inline constexpr Rgb kConsoleBack{0, 0, 0};
inline constexpr Rgb kConsoleText{224, 224, 224};

// Frame pieces Image1 .. Image10 (index 0 is Image1).
inline constexpr Twips kImage[10] = {
    {15, 0, 7875, 300},   // Image1: title strip, stretched
    {15, 285, 60, 645},   // Image2: left edge, upper piece
    {15, 930, 60, 4905},  // Image3: left edge filler, stretched
    {15, 5805, 345, 120}, // Image4: bottom-left piece
    {4530, 5805, 330, 120}, // Image5: bottom-right piece
    {8655, 285, 60, 2610},  // Image6: right edge filler, stretched
    {345, 5805, 4215, 120}, // Image7: bottom filler, stretched
    {7725, 0, 180, 300},    // Image8: title piece left of Image9
    {7920, 0, 795, 300},    // Image9: title strip's right end
    {60, 0, 180, 300},      // Image10: title strip's left end
};
// Whether a frame piece stretches its picture to its own size.
inline constexpr bool kImageStretched[10] = {true, false, true, false, false, true, true, false, false, false};
// Image8 stands this far left of the right edge.
inline constexpr int kImage8Gap = 800;

inline constexpr Twips kLabelTOP{405, 60, 2415, 225};
inline constexpr Twips kLabel7{8415, 60, 225, 180};
inline constexpr Twips kLabel9{5445, 45, 255, 255};
inline constexpr Twips kLabel8{5205, 30, 195, 255};
inline constexpr Twips kLabel2_4{4950, 45, 255, 255};
inline constexpr const char* kLabel7Tip = "Chiudi Programma";
inline constexpr const char* kLabel9Tip = "Chiudi Quorvane";
inline constexpr const char* kLabel8Tip = "Massimizza / Ripristina";
inline constexpr const char* kLabel2_4Tip = "Minimizza nella traybar";

inline constexpr Twips kPicture1{120, 330, 8505, 795};
inline constexpr Twips kImage78{0, 0, 990, 780}; // in Picture1
inline constexpr Twips kLabel6{135, 240, 675, 435}; // in Picture1
inline constexpr Twips kText1{1065, 15, 7380, 705}; // in Picture1
inline constexpr const char* kLabel6Text = "GUI";

inline constexpr Twips kCheck2{240, 1680, 2430, 315};
inline constexpr Twips kCheck1{240, 1470, 3615, 225};
inline constexpr Twips kCkVerbose{255, 1200, 2550, 225};
inline constexpr const char* kCheck2Text = "Sempre in primo piano";
inline constexpr const char* kCheck1Text = "Attiva [max number of matches][-r:nn ]";
inline constexpr const char* kCkVerboseText = "Attiva : [verbose mode][-v]";
inline constexpr const char* kCkVerboseTip = "Abilita la visualizzazione dettagli";

// State-carrying controls, beyond the designed client width.
inline constexpr Twips kTxtCartella{10710, 4770, 2910, 300};
inline constexpr Twips kTxtFile{10695, 4425, 2940, 300};
inline constexpr int kOption1Left = 9795;
inline constexpr int kOption1Top[5] = {2475, 2820, 3150, 3495, 3840};
inline constexpr int kOption1Width = 2000;
inline constexpr int kOption1Height = 225;
inline constexpr const char* kOption1Design = "Option1";
// Captions given at start; the last one is selected.
inline constexpr const char* kPlacementNames[5] = {
    "No move", "Screen center", "Parent form center", "Parent form shift", "Mouse shift",
};
inline constexpr Twips kLblControl{10740, 5580, 630, 240};
inline constexpr Twips kLabel3{9765, 4860, 1215, 165};
inline constexpr Twips kLabel2_0{9750, 4500, 1215, 165};
inline constexpr const char* kLabel3Text = "Cartella";
inline constexpr const char* kLabel2_0Text = "file";

inline constexpr Twips kCmdFile{6585, 1215, 1875, 375};
inline constexpr Twips kCmdCartella{4635, 1215, 1875, 375};
inline constexpr const char* kCmdFileText = "File";
inline constexpr const char* kCmdFileTip = "Scelta del FILE da esaminare con Vonk";
inline constexpr const char* kCmdCartellaText = "Cartella";
inline constexpr const char* kCmdCartellaTip = "Scelta dela CARTELLA  da esaminare con Vonk";

inline constexpr Twips kTxtCommand{105, 4920, 8520, 285};
inline constexpr const char* kCommandPresets[3] = {
    "cmd /c vonk *", "cmd /c vonk *  -ae ", "cmd /c vonk *  -v  -r:5",
};
inline constexpr const char* kCommandIntro = "Vonk - File Identifier - ";

inline constexpr Twips kCmdExit{7020, 5280, 1410, 450};
inline constexpr const char* kCmdExitText = "Esci";
inline constexpr const char* kCmdExitTip = "Chiude il programma";

inline constexpr Twips kTxtOutputs{90, 2055, 8520, 2835};
inline constexpr const char* kTxtOutputsTip =
    "Drag&Drop del file o della cartella dentro questo box o direttamente sul Form";
inline constexpr const char* kIdleLine = "-> output: idle\n";

inline constexpr Twips kCmdExecute{10680, 5130, 1875, 375};
inline constexpr const char* kCmdExecuteText = "Execute";
// Shown only while a run lasts, beside the exit button.
inline constexpr Twips kCmdStop{6105, 5280, 840, 450};
inline constexpr const char* kCmdStopText = "Stop";
inline constexpr const char* kCmdStopTip = "Interrompe il comando in corso (Esc)";

inline constexpr Twips kLabel5{5475, 1830, 840, 165};
inline constexpr const char* kLabel5Text = "Lumetra";
inline constexpr const char* kLabel5TipTail = " - distribuzione curata dallo staff Lumetra";
inline constexpr Twips kLabel1{3165, 1830, 4635, 165};
inline constexpr const char* kLabel1Text =
    "Un grazie particolare allo staff di                      per la distribuzione ";
inline constexpr Twips kLabel2_3{255, 5520, 2070, 195};
inline constexpr Twips kLabel2_2{2535, 5520, 2460, 195};
inline constexpr Twips kLabel2_1{7980, 1785, 420, 195};
inline constexpr const char* kLabel2_3Tail = " ->Vonk";
inline constexpr const char* kLabel2_3Tip = "Scrivi all'autore di Vonk";
inline constexpr const char* kLabel2_2Tail = " ->GUI-Vonk";
inline constexpr const char* kLabel2_2Tip = "Scrivi all'autore di GUI-Vonk";
inline constexpr const char* kLabel2_1Text = "About";
inline constexpr const char* kLabel2_1Tip = "info programma";
inline constexpr Twips kLabel4{195, 5325, 5775, 165};
inline constexpr const char* kLabel4Text =
    "Puoi anche trascinare il FILE o la CARTELLA scelta sul FORM per eseguire il parsing";

// Addresses the links show and open.
inline constexpr const char* kIdentifierAuthorMail = "vonk@example.org";
inline constexpr const char* kProgramAuthorMail = "gui@example.net";
inline constexpr const char* kDistributionHomePage = "https://lumetra.example.org/";
inline constexpr const char* kContactPage = "https://vonk.example.org/contatti.html";

// The title label's text, set at start: description, version, author.
inline constexpr const char* kFileDescription = "Vonk-Gui : Gui 4 Vonk  - by Vessandro";

// Boxes of the window's own.
inline constexpr const char* kReadComplete = "Lettura completa";
inline constexpr const char* kStoppedByUser = "-> interrotto dall'utente";
inline constexpr const char* kAlreadyRunning = "VonkGUI risulta avviato";

// Text1: the description of the identifier in the header panel.
inline constexpr const char* kDescription =
    "Vonk è un utility per l'identificazione di binary files. Non contiene alcuna regola "
    "scritta nel codice: per riconoscere un file si affida soltanto a un database di "
    "definizioni, ognuna delle quali descrive le sequenze di byte che ricorrono con "
    "regolarità nei file di un certo tipo, e restituisce l'elenco dei tipi possibili "
    "ordinati secondo la loro probabilità.\n"
    "Il pacchetto delle definizioni viene aggiornato spesso e pubblicato come download "
    "separato: per usarlo basta scompattarlo nella stessa directory del programma, senza "
    "reinstallare nulla.\n"
    "Più ampio è l'insieme delle definizioni, più precisi sono i risultati: ogni contributo "
    "è quindi benvenuto, e chi conosce un formato che ancora manca può inviarne la "
    "descrizione perché la libreria cresca a vantaggio di tutti.\n"
    "Le nuove definizioni si costruiscono con un modulo compagno, \"VonkScan\", che esamina "
    "una serie di file campione dello stesso tipo, ne ricava le parti comuni e scrive una "
    "definizione pronta da aggiungere al database, senza bisogno di conoscere a fondo il "
    "formato in questione.\n"
    "Questa impostazione evita il rapido invecchiamento tipico dei programmi di questo "
    "genere: per riconoscere un formato nuovo non serve una nuova versione del programma, "
    "basta una definizione in più, e ciò che il programma sa fare cresce insieme alla "
    "sua libreria.\n"
    "La libreria attuale comprende 2601 tipi di file.";

} // namespace gv::design
