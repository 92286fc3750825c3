// Finnish captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillFinnishMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoomaus", u"Esikatselu", u"Alkuperäinen", u"Tulos", u"OK", u"Peruuta",
      u"Lukitse esikatselu", u"Kopioi tulos alkuperäiseen", u"Kontrasti", u"Kirkkaus",
      // 10
      u"Sävy", u"Kylläisyys", u"Arvo", u"Perusväri", u"Uusi väri", u"Luminanssi", u"Punainen",
      u"Vihreä", u"Sininen", u"Suodatinarvot",
      // 20
      u"Esiasetukset", u"Jakaja", u"Lataa", u"Tallenna", u"Tasoitus", u"Kynnys", u"Tasoita",
      u"Histogrammi", u"Harmaa", u"Valo",
      // 30
      u"Vasen", u"Ylä", u"Leveys", u"Korkeus", u"Väri", u"Alkuperäisen kuvan osuus", u"Linssi",
      u"Taittuminen", u"Parametrien esikatselu", u"Laatu",
      // 40
      u"DCT-menetelmä", u"Pehmennyskerroin", u"Harmaasävy", u"Optimaalinen Huffman",
      u"Alkuperäinen koko", u"Pakattu koko", u"Lisäasetukset", u"Progressiivinen", u"Pakkaus",
      u"Kuvan indeksi",
      // 50
      u"Fotometrinen tulkinta", u"Skannatun asiakirjan tiedot", u"Nimi", u"Kuvaus",
      u"Sivun nimi", u"Sivunumero", u"/", u"Vaakasijainti (tuumaa)", u"Pystysijainti (tuumaa)",
      u"Värit",
      // 60
      u"Läpinäkyvä", u"Läpinäkyvä väri", u"Lomitettu", u"Tausta", u"Vaakasijainti",
      u"Pystysijainti", u"Viive", u"Suodatin", u"Aalto", u"Amplitudi",
      // 70
      u"Aallonpituus", u"Vaihe", u"Heijastava", u"Käyttäjän suodatin",
      u"Morfologiset suodattimet", u"Ikkunan koko", u"Maksimi", u"Minimi", u"Avaus",
      u"Sulkeuma",
      // 80
      u"Kierrä", u"Käännä", u"Vaaka", u"Pysty", u"Taajuustason kuva",
      u"Valitse puhdistettava alue", u"Tyhjennä", u"Palauta", u"Animoi", u"Lataa suodatin",
      // 90
      u"Tallenna suodatin", u"Kohokuvio", u"Tulosta", u"Reunukset", u"tuumaa", u"Oikea", u"Ala",
      u"Sijainti", u"Koko", u"Normaali",
      // 100
      u"Sovita sivulle", u"Venytä sivulle", u"Määritetty koko", u"Gammakorjaus", u"Arvo",
      u"Tulostusasetukset", u"Vasen reunus", u"Yläreunus", u"Oikea reunus", u"Alareunus",
      // 110
      u"Sijainti/koko", u"Ylävasen", u"Yläkeskellä", u"Yläoikea", u"Keskellä vasen",
      u"Keskellä", u"Keskellä oikea", u"Alavasen", u"Alakeskellä", u"Alaoikea",
      // 120
      u"Sulje", u"Käytä", u"Mittayksiköt", u"Yksiköt", u"Suhde", u"Kaikki grafiikka",
      u"Video for Windows", u"Tiedosto", u"Muisti",
      u"Päivittää esikatselun automaattisesti valitsemillasi muutoksilla",
      // 130
      u"Tulosta kaikki", u"Tulosta valitut", u"Yleiset kuvatiedostot", u"Kaikki tiedostot",
      u"HSV", u"HSL", u"RGB", u"FFT", u"Terävöitä", u"Kanavat",
      // 140
      u"Asetukset", u"Tiedostopääte pienillä kirjaimilla", u"pikseli", u"kehystä", u"bittiä",
      u"tavua", u"dpi", u"kt", u"Sovita",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msFinnish, kTexts);
}
