// Dutch captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillDutchMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoom", u"Voorbeeld", u"Origineel", u"Resultaat", u"OK", u"Annuleren",
      u"Voorbeeld vergrendelen", u"Resultaat naar origineel kopiëren", u"Contrast",
      u"Helderheid",
      // 10
      u"Tint", u"Verzadiging", u"Waarde", u"Basiskleur", u"Nieuwe kleur", u"Luminantie", u"Rood",
      u"Groen", u"Blauw", u"Filterwaarden",
      // 20
      u"Voorinstellingen", u"Deler", u"Laden", u"Opslaan", u"Egalisatie", u"Drempel",
      u"Egaliseren", u"Histogram", u"Grijs", u"Licht",
      // 30
      u"Links", u"Boven", u"Breedte", u"Hoogte", u"Kleur", u"Aandeel originele afbeelding",
      u"Lens", u"Breking", u"Voorbeeld van parameters", u"Kwaliteit",
      // 40
      u"DCT-methode", u"Afvlakkingsfactor", u"Grijswaarden", u"Optimale Huffman",
      u"Oorspronkelijke grootte", u"Gecomprimeerde grootte", u"Geavanceerd", u"Progressief",
      u"Compressie", u"Afbeeldingsindex",
      // 50
      u"Fotometrisch", u"Informatie gescand document", u"Naam", u"Beschrijving", u"Paginanaam",
      u"Paginanummer", u"van", u"Horiz. positie (inch)", u"Vert. positie (inch)", u"Kleuren",
      // 60
      u"Transparant", u"Transparante kleur", u"Geïnterlinieerd", u"Achtergrond",
      u"Horiz. positie", u"Vert. positie", u"Vertraging", u"Filter", u"Golf", u"Amplitude",
      // 70
      u"Golflengte", u"Fase", u"Reflecterend", u"Gebruikersfilter", u"Morfologische filters",
      u"Venstergrootte", u"Maximum", u"Minimum", u"Opening", u"Sluiting",
      // 80
      u"Draaien", u"Spiegelen", u"Horizontaal", u"Verticaal", u"Afbeelding in frequentiedomein",
      u"Selecteer het gebied dat moet worden opgeschoond", u"Wissen", u"Herstellen",
      u"Animeren", u"Filter laden",
      // 90
      u"Filter opslaan", u"Reliëfkaart", u"Afdrukken", u"Marges", u"inch", u"Rechts", u"Onder",
      u"Positie", u"Grootte", u"Normaal",
      // 100
      u"Aanpassen aan pagina", u"Uitrekken tot pagina", u"Opgegeven grootte",
      u"Gammacorrectie", u"Waarde", u"Afdrukinstellingen", u"Linkermarge", u"Bovenmarge",
      u"Rechtermarge", u"Ondermarge",
      // 110
      u"Positie/grootte", u"Linksboven", u"Middenboven", u"Rechtsboven", u"Linksmidden",
      u"Midden", u"Rechtsmidden", u"Linksonder", u"Middenonder", u"Rechtsonder",
      // 120
      u"Sluiten", u"Toepassen", u"Maateenheden", u"Eenheden", u"Verhouding",
      u"Alle afbeeldingen", u"Video for Windows", u"Bestand", u"Geheugen",
      u"Werkt het voorbeeld automatisch bij met de geselecteerde wijzigingen",
      // 130
      u"Alles afdrukken", u"Selectie afdrukken", u"Veelgebruikte afbeeldingsbestanden",
      u"Alle bestanden", u"HSV", u"HSL", u"RGB", u"FFT", u"Verscherpen", u"Kanalen",
      // 140
      u"Opties", u"Extensie in kleine letters", u"pixel", u"beelden", u"bit", u"byte", u"dpi",
      u"KB", u"Passend",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msDutch, kTexts);
}
