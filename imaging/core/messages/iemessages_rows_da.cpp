// Danish captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillDanishMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoom", u"Forhåndsvisning", u"Original", u"Resultat", u"OK", u"Annuller",
      u"Lås forhåndsvisning", u"Kopier resultat til original", u"Kontrast", u"Lysstyrke",
      // 10
      u"Nuance", u"Mætning", u"Værdi", u"Grundfarve", u"Ny farve", u"Luminans", u"Rød", u"Grøn",
      u"Blå", u"Filterværdier",
      // 20
      u"Forudindstillinger", u"Nævner", u"Indlæs", u"Gem", u"Udligning", u"Tærskel", u"Udlign",
      u"Histogram", u"Grå", u"Lys",
      // 30
      u"Venstre", u"Øverst", u"Bredde", u"Højde", u"Farve", u"Andel af originalbillede",
      u"Linse", u"Brydning", u"Forhåndsvisning af parametre", u"Kvalitet",
      // 40
      u"DCT-metode", u"Udjævningsfaktor", u"Gråtoner", u"Optimeret Huffman",
      u"Oprindelig størrelse", u"Komprimeret størrelse", u"Avanceret", u"Progressiv",
      u"Komprimering", u"Billedindeks",
      // 50
      u"Fotometrisk", u"Oplysninger om scannet dokument", u"Navn", u"Beskrivelse", u"Sidenavn",
      u"Sidenummer", u"af", u"Vandret position (tommer)", u"Lodret position (tommer)",
      u"Farver",
      // 60
      u"Gennemsigtig", u"Gennemsigtig farve", u"Sammenflettet", u"Baggrund",
      u"Vandret position", u"Lodret position", u"Forsinkelse", u"Filter", u"Bølge",
      u"Amplitude",
      // 70
      u"Bølgelængde", u"Fase", u"Reflekterende", u"Brugerfilter", u"Morfologiske filtre",
      u"Vinduesstørrelse", u"Maksimum", u"Minimum", u"Åbning", u"Lukning",
      // 80
      u"Roter", u"Spejlvend", u"Vandret", u"Lodret", u"Billede i frekvensdomænet",
      u"Vælg det område, der skal renses", u"Ryd", u"Nulstil", u"Animer", u"Indlæs filter",
      // 90
      u"Gem filter", u"Reliefkort", u"Udskriv", u"Margener", u"tommer", u"Højre", u"Nederst",
      u"Position", u"Størrelse", u"Normal",
      // 100
      u"Tilpas til side", u"Stræk til side", u"Angivet størrelse", u"Gammakorrektion",
      u"Værdi", u"Udskriftsopsætning", u"Venstre margen", u"Topmargen", u"Højre margen",
      u"Bundmargen",
      // 110
      u"Placering/størrelse", u"Øverst til venstre", u"Øverst i midten", u"Øverst til højre",
      u"Midt til venstre", u"Midten", u"Midt til højre", u"Nederst til venstre",
      u"Nederst i midten", u"Nederst til højre",
      // 120
      u"Luk", u"Anvend", u"Måleenheder", u"Enheder", u"Forhold", u"Al grafik",
      u"Video for Windows", u"Fil", u"Hukommelse",
      u"Opdaterer automatisk forhåndsvisningen med de ændringer, du har valgt",
      // 130
      u"Udskriv alle", u"Udskriv markerede", u"Almindelige grafikfiler", u"Alle filer", u"HSV",
      u"HSL", u"RGB", u"FFT", u"Gør skarpere", u"Kanaler",
      // 140
      u"Indstillinger", u"Filtypenavn med små bogstaver", u"pixel", u"billeder", u"bit",
      u"byte", u"dpi", u"KB", u"Tilpas",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msDanish, kTexts);
}
