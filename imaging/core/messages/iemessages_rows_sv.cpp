// Swedish captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillSwedishMessages() {
  static const char16_t* const kTexts[] = {
      u"Zooma", u"Förhandsgranskning", u"Original", u"Resultat", u"OK", u"Avbryt",
      u"Lås förhandsgranskning", u"Kopiera resultat till original", u"Kontrast", u"Ljusstyrka",
      // 10
      u"Nyans", u"Mättnad", u"Värde", u"Grundfärg", u"Ny färg", u"Luminans", u"Röd", u"Grön",
      u"Blå", u"Filtervärden",
      // 20
      u"Förinställningar", u"Nämnare", u"Läs in", u"Spara", u"Utjämning", u"Tröskel",
      u"Utjämna", u"Histogram", u"Grå", u"Ljus",
      // 30
      u"Vänster", u"Överkant", u"Bredd", u"Höjd", u"Färg", u"Andel originalbild", u"Lins",
      u"Brytning", u"Förhandsgranskning av parametrar", u"Kvalitet",
      // 40
      u"DCT-metod", u"Utjämningsfaktor", u"Gråskala", u"Optimerad Huffman", u"Originalstorlek",
      u"Komprimerad storlek", u"Avancerat", u"Progressiv", u"Komprimering", u"Bildindex",
      // 50
      u"Fotometrisk", u"Information om skannat dokument", u"Namn", u"Beskrivning", u"Sidnamn",
      u"Sidnummer", u"av", u"Horis. position (tum)", u"Vert. position (tum)", u"Färger",
      // 60
      u"Genomskinlig", u"Genomskinlig färg", u"Sammanflätad", u"Bakgrund", u"Horis. position",
      u"Vert. position", u"Fördröjning", u"Filter", u"Våg", u"Amplitud",
      // 70
      u"Våglängd", u"Fas", u"Reflekterande", u"Användarfilter", u"Morfologiska filter",
      u"Fönsterstorlek", u"Maximum", u"Minimum", u"Öppning", u"Slutning",
      // 80
      u"Rotera", u"Vänd", u"Vågrätt", u"Lodrätt", u"Bild i frekvensdomänen",
      u"Markera området som ska rensas", u"Rensa", u"Återställ", u"Animera", u"Läs in filter",
      // 90
      u"Spara filter", u"Reliefkarta", u"Skriv ut", u"Marginaler", u"tum", u"Höger",
      u"Nederkant", u"Position", u"Storlek", u"Normal",
      // 100
      u"Anpassa till sidan", u"Sträck ut till sidan", u"Angiven storlek", u"Gammakorrigering",
      u"Värde", u"Utskriftsformat", u"Vänstermarginal", u"Övre marginal", u"Högermarginal",
      u"Nedre marginal",
      // 110
      u"Placering/storlek", u"Övre vänster", u"Övre mitten", u"Övre höger", u"Mitten vänster",
      u"Mitten", u"Mitten höger", u"Nedre vänster", u"Nedre mitten", u"Nedre höger",
      // 120
      u"Stäng", u"Verkställ", u"Måttenheter", u"Enheter", u"Kvot", u"All grafik",
      u"Video for Windows", u"Fil", u"Minne",
      u"Uppdaterar förhandsgranskningen automatiskt med de ändringar du har valt",
      // 130
      u"Skriv ut alla", u"Skriv ut markerade", u"Vanliga grafikfiler", u"Alla filer", u"HSV",
      u"HSL", u"RGB", u"FFT", u"Skärpa", u"Kanaler",
      // 140
      u"Alternativ", u"Filnamnstillägg med gemener", u"bildpunkt", u"bildrutor", u"bit", u"byte",
      u"dpi", u"kB", u"Anpassa",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msSwedish, kTexts);
}
