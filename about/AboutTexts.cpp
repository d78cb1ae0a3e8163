// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutTexts.h"

namespace gv {

QString aboutProgramText()
{
    // 19 blanks: the bold "GUI-Vonk" above stands in the gap.
    return QStringLiteral(
        "                   è un'interfaccia grafica per lavorare con Vonk: mostra l'output delle "
        "scansioni di Vonk in una finestra in stile terminale. Programmata da Q.\u00A0Lanterna. "
        "L'eseguibile di GUI-Vonk contiene i due file di Vonk (il programma e le definizioni), che "
        "vengono estratti nella cartella del programma appena questo si apre.");
}

QString aboutIdentifierText()
{
    return QStringLiteral(
        "Vonk è un utility per l'identificazione di binary files. A differenza di utility simili "
        "(per esempio quelle che riconoscono con quale strumento è stato prodotto un eseguibile) "
        "non ha regole scritte nel codice, ma è estendibile e adattabile in modo pratico e "
        "\u201Cautomatico\u201D.");
}

QString aboutDefinitionsText()
{
    return QStringLiteral(
        "Vonk si basa soltanto su un database di definizioni che descrivono gli schemi ricorrenti "
        "di ogni tipo di file riconosciuto. Il pacchetto delle definizioni viene aggiornato molto "
        "spesso e per questo si scarica a parte: basta scompattare i due archivi nella stessa "
        "cartella e Vonk è pronto per l'uso.");
}

QString aboutTermsText()
{
    return QStringLiteral(
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
        "\u00A9 2008 Q. Lanterna - Tutti i diritti riservati.");
}

} // namespace gv
