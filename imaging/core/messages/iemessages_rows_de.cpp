// German captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillGermanMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoom", u"Vorschau", u"Original", u"Ergebnis", u"OK", u"Abbrechen", u"Vorschau sperren",
      u"Ergebnis ins Original kopieren", u"Kontrast", u"Helligkeit",
      // 10
      u"Farbton", u"Sättigung", u"Helligkeitswert", u"Grundfarbe", u"Neue Farbe", u"Luminanz",
      u"Rot", u"Grün", u"Blau", u"Filterwerte",
      // 20
      u"Vorgaben", u"Teiler", u"Laden", u"Speichern", u"Angleichung", u"Schwellenwert",
      u"Angleichen", u"Histogramm", u"Grau", u"Licht",
      // 30
      u"Links", u"Oben", u"Breite", u"Höhe", u"Farbe", u"Anteil des Originalbilds", u"Linse",
      u"Brechung", u"Parametervorschau", u"Qualität",
      // 40
      u"DCT-Methode", u"Glättungsfaktor", u"Graustufen", u"Optimale Huffman-Kodierung",
      u"Originalgröße", u"Komprimierte Größe", u"Erweitert", u"Progressiv", u"Komprimierung",
      u"Bildindex",
      // 50
      u"Photometrie", u"Angaben zum gescannten Dokument", u"Name", u"Beschreibung", u"Seitenname",
      u"Seitennummer", u"von", u"Horizontale Position (Zoll)",
      u"Vertikale Position (Zoll)", u"Farben",
      // 60
      u"Transparent", u"Transparente Farbe", u"Zeilensprung", u"Hintergrund",
      u"Horizontale Position",
      u"Vertikale Position", u"Verzögerung", u"Filter", u"Welle", u"Amplitude",
      // 70
      u"Wellenlänge", u"Phase", u"Reflektierend", u"Benutzerfilter", u"Morphologische Filter",
      u"Fenstergröße", u"Maximum", u"Minimum", u"Öffnung", u"Schließung",
      // 80
      u"Drehen", u"Spiegeln", u"Horizontal", u"Vertikal", u"Bild im Frequenzbereich",
      u"Zu bereinigenden Bereich auswählen", u"Löschen", u"Zurücksetzen", u"Animieren",
      u"Filter laden",
      // 90
      u"Filter speichern", u"Bump-Map", u"Drucken", u"Ränder", u"Zoll", u"Rechts", u"Unten",
      u"Position", u"Größe", u"Normal",
      // 100
      u"An Seite anpassen", u"Auf Seite strecken", u"Angegebene Größe", u"Gammakorrektur", u"Wert",
      u"Druckeinrichtung", u"Linker Rand", u"Oberer Rand", u"Rechter Rand", u"Unterer Rand",
      // 110
      u"Position/Größe", u"Oben links", u"Oben Mitte", u"Oben rechts", u"Mitte links", u"Mitte",
      u"Mitte rechts", u"Unten links", u"Unten Mitte", u"Unten rechts",
      // 120
      u"Schließen", u"Übernehmen", u"Maßeinheiten", u"Einheiten", u"Rate", u"Alle Grafiken",
      u"Video for Windows", u"Datei", u"Speicher",
      u"Aktualisiert die Vorschau automatisch mit den gewählten Änderungen",
      // 130
      u"Alle drucken", u"Auswahl drucken", u"Gängige Grafikdateien", u"Alle Dateien", u"HSV",
      u"HSL", u"RGB", u"FFT", u"Schärfen", u"Kanäle",
      // 140
      u"Optionen", u"Dateiendung in Kleinbuchstaben", u"Pixel", u"Bilder", u"Bit", u"Byte",
      u"dpi", u"KB", u"Einpassen",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msGerman, kTexts);
}
