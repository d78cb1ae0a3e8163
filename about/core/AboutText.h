// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The About window's texts and links, without any toolkit (UTF-8): every
// window edition shows the same ones.

namespace gv::about {

inline constexpr const char* kCaption = "Info GUI-Vonk 1.0 - Gui per Vonk command line.";
inline constexpr const char* kHomePage = "https://vonk.example.org/soft-vonk.html";
inline constexpr const char* kDefsListPage = "https://vonk.example.org/soft-vonk-deflist.html";
inline constexpr const char* kChangeLogFeed =
    "https://forum.example.org/forum/index.php?action=.xml;sa=recent;board=8.0;limit=15;type=rss2";

// Label5: what the program is; its first line leaves room for the bold name (19 blanks).
inline constexpr const char* kAboutProgram =
    "                   è un'interfaccia grafica per lavorare con Vonk: mostra l'output delle "
    "scansioni di Vonk in una finestra in stile terminale. Programmata da Q.\u00A0Lanterna. "
    "L'eseguibile di GUI-Vonk contiene i due file di Vonk (il programma e le definizioni), che "
    "vengono estratti nella cartella del programma appena questo si apre.";

// Label2(0): what the identifier is.
inline constexpr const char* kAboutIdentifier =
    "Vonk è un utility per l'identificazione di binary files. A differenza di utility simili "
    "(per esempio quelle che riconoscono con quale strumento è stato prodotto un eseguibile) "
    "non ha regole scritte nel codice, ma è estendibile e adattabile in modo pratico e "
    "\u201Cautomatico\u201D.";

// Label3: how the identifier works.
inline constexpr const char* kAboutDefinitions =
    "Vonk si basa soltanto su un database di definizioni che descrivono gli schemi ricorrenti "
    "di ogni tipo di file riconosciuto. Il pacchetto delle definizioni viene aggiornato molto "
    "spesso e per questo si scarica a parte: basta scompattare i due archivi nella stessa "
    "cartella e Vonk è pronto per l'uso.";

// Text1: terms of use.
inline constexpr const char* kAboutTerms =
    "Condizioni Generali\n"
    "Vonk \u00A9 Laboratorio Vonk - vonk.example.org\n"
    "GUI-Vonk \u00A9 Q. Lanterna - gui-vonk.example.net\n"
    "----------------------------------------------------------\n"
    "Tutti i diritti riservati.\n"
    "\n"
    "L'utilizzo del software implica l'accettazione integrale delle presenti condizioni "
    "generali d'uso.\n"
    "\n"
    "Il software rimane proprietà intellettuale del programmatore. Tutti i diritti non "
    "espressamente concessi all'utente sono riservati.\n"
    "\n"
    "Sono vietate la distribuzione a fini commerciali, la vendita, il noleggio e la "
    "realizzazione di copie a pagamento del software, in qualsiasi forma.\n"
    "\n"
    "Il programmatore non risponde dei danni derivanti dall'inesattezza di informazioni "
    "pubbliche, salvo i casi di errore grave o di dolo accertati; in caso di errore si "
    "impegna unicamente a darne notizia al fornitore dei dati.\n"
    "\n"
    "Per ogni controversia è competente in via esclusiva il foro del luogo di residenza "
    "del programmatore.\n"
    "\n"
    "Tutela dei dati personali\n"
    "Le persone identificate o identificabili hanno il diritto di consultare i dati che le "
    "riguardano e di chiederne la rettifica o la cancellazione. Le richieste vanno inviate "
    "per posta ordinaria, allegando la copia di un documento d'identità.\n"
    "\n"
    "\u00A9 2008 Q. Lanterna - Tutti i diritti riservati.";

} // namespace gv::about
