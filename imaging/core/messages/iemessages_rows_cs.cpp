// Czech captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillCzechMessages() {
  static const char16_t* const kTexts[] = {
      u"Zvětšení", u"Náhled", u"Originál", u"Výsledek", u"OK", u"Storno", u"Uzamknout náhled",
      u"Kopírovat výsledek do originálu", u"Kontrast", u"Jas",
      // 10
      u"Odstín", u"Sytost", u"Hodnota", u"Základní barva", u"Nová barva", u"Jasová složka",
      u"Červená", u"Zelená", u"Modrá", u"Hodnoty filtru",
      // 20
      u"Předvolby", u"Dělitel", u"Načíst", u"Uložit", u"Vyrovnání", u"Práh", u"Vyrovnat",
      u"Histogram", u"Šedá", u"Světlo",
      // 30
      u"Vlevo", u"Nahoře", u"Šířka", u"Výška", u"Barva", u"Podíl původního obrázku", u"Čočka",
      u"Lom", u"Náhled parametrů", u"Kvalita",
      // 40
      u"Metoda DCT", u"Faktor vyhlazení", u"Stupně šedi", u"Optimální Huffman",
      u"Původní velikost", u"Komprimovaná velikost", u"Upřesnit", u"Progresivní", u"Komprese",
      u"Index obrázku",
      // 50
      u"Fotometrie", u"Informace o naskenovaném dokumentu", u"Název", u"Popis",
      u"Název stránky", u"Číslo stránky", u"z", u"Vodor. pozice (palce)",
      u"Svis. pozice (palce)", u"Barvy",
      // 60
      u"Průhledné", u"Průhledná barva", u"Prokládané", u"Pozadí", u"Vodor. pozice",
      u"Svis. pozice", u"Zpoždění", u"Filtr", u"Vlna", u"Amplituda",
      // 70
      u"Vlnová délka", u"Fáze", u"Odrazivé", u"Uživatelský filtr", u"Morfologické filtry",
      u"Velikost okna", u"Maximum", u"Minimum", u"Otevření", u"Uzavření",
      // 80
      u"Otočit", u"Převrátit", u"Vodorovně", u"Svisle", u"Obraz ve frekvenční oblasti",
      u"Vyberte oblast k vyčištění", u"Vymazat", u"Obnovit", u"Animovat", u"Načíst filtr",
      // 90
      u"Uložit filtr", u"Mapa reliéfu", u"Tisk", u"Okraje", u"palce", u"Vpravo", u"Dole",
      u"Pozice", u"Velikost", u"Normální",
      // 100
      u"Přizpůsobit stránce", u"Roztáhnout na stránku", u"Zadaná velikost", u"Korekce gama",
      u"Hodnota", u"Nastavení tisku", u"Levý okraj", u"Horní okraj", u"Pravý okraj",
      u"Dolní okraj",
      // 110
      u"Umístění/velikost", u"Vlevo nahoře", u"Nahoře uprostřed", u"Vpravo nahoře",
      u"Vlevo uprostřed", u"Uprostřed", u"Vpravo uprostřed", u"Vlevo dole", u"Dole uprostřed",
      u"Vpravo dole",
      // 120
      u"Zavřít", u"Použít", u"Měrné jednotky", u"Jednotky", u"Poměr", u"Veškerá grafika",
      u"Video for Windows", u"Soubor", u"Paměť",
      u"Automaticky aktualizuje náhled podle vybraných změn",
      // 130
      u"Tisknout vše", u"Tisknout vybrané", u"Běžné grafické soubory", u"Všechny soubory",
      u"HSV", u"HSL", u"RGB", u"FFT", u"Zaostřit", u"Kanály",
      // 140
      u"Možnosti", u"Přípona malými písmeny", u"pixel", u"snímky", u"bit", u"bajt", u"dpi",
      u"kB", u"Přizpůsobit",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msCzech, kTexts);
}
