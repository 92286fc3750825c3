// Polish captions of the imaging dialogs. Message 124 has no Polish text: it is
// left empty and the lookup shows the English one.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillPolishMessages() {
  static const char16_t* const kTexts[] = {
      u"Powiększenie", u"Podgląd", u"Oryginał", u"Wynik", u"OK", u"Anuluj", u"Zablokuj podgląd",
      u"Kopiuj wynik do oryginału", u"Kontrast", u"Jasność",
      // 10
      u"Barwa", u"Nasycenie", u"Wartość", u"Kolor bazowy", u"Nowy kolor", u"Luminancja",
      u"Czerwony", u"Zielony", u"Niebieski", u"Wartości filtru",
      // 20
      u"Ustawienia predefiniowane", u"Dzielnik", u"Wczytaj", u"Zapisz", u"Wyrównanie", u"Próg",
      u"Wyrównaj", u"Histogram", u"Szary", u"Światło",
      // 30
      u"Od lewej", u"Od góry", u"Szerokość", u"Wysokość", u"Kolor", u"Udział oryginalnego obrazu",
      u"Soczewka", u"Załamanie", u"Podgląd parametrów", u"Jakość",
      // 40
      u"Metoda DCT", u"Współczynnik wygładzania", u"Skala szarości", u"Optymalny Huffman",
      u"Rozmiar oryginalny", u"Rozmiar po kompresji", u"Zaawansowane", u"Progresywny",
      u"Kompresja", u"Indeks obrazu",
      // 50
      u"Fotometria", u"Informacje o zeskanowanym dokumencie", u"Nazwa", u"Opis", u"Nazwa strony",
      u"Numer strony", u"z", u"Poz. pozioma (cale)", u"Poz. pionowa (cale)", u"Kolory",
      // 60
      u"Przezroczysty", u"Kolor przezroczysty", u"Z przeplotem", u"Tło", u"Poz. pozioma",
      u"Poz. pionowa", u"Opóźnienie", u"Filtr", u"Fala", u"Amplituda",
      // 70
      u"Długość fali", u"Faza", u"Odbijająca", u"Filtr użytkownika", u"Filtry morfologiczne",
      u"Rozmiar okna", u"Maksimum", u"Minimum", u"Otwarcie", u"Zamknięcie",
      // 80
      u"Obróć", u"Odwróć", u"W poziomie", u"W pionie", u"Obraz w dziedzinie częstotliwości",
      u"Zaznacz obszar do oczyszczenia", u"Wyczyść", u"Resetuj", u"Animuj", u"Wczytaj filtr",
      // 90
      u"Zapisz filtr", u"Mapa wypukłości", u"Drukuj", u"Marginesy", u"cale", u"Od prawej",
      u"Od dołu", u"Położenie", u"Rozmiar", u"Normalny",
      // 100
      u"Dopasuj do strony", u"Rozciągnij na stronę", u"Określony rozmiar", u"Korekcja gamma",
      u"Wartość", u"Ustawienia wydruku", u"Lewy margines", u"Górny margines", u"Prawy margines",
      u"Dolny margines",
      // 110
      u"Położenie/rozmiar", u"Lewy górny", u"Środkowy górny", u"Prawy górny", u"Lewy środkowy",
      u"Środek", u"Prawy środkowy", u"Lewy dolny", u"Środkowy dolny", u"Prawy dolny",
      // 120
      u"Zamknij", u"Zastosuj", u"Jednostki miary", u"Jednostki", u"", u"Wszystkie grafiki",
      u"Video for Windows", u"Plik", u"Pamięć",
      u"Automatycznie aktualizuje podgląd zgodnie z wybranymi zmianami",
      // 130
      u"Drukuj wszystkie", u"Drukuj zaznaczone", u"Popularne pliki graficzne",
      u"Wszystkie pliki", u"HSV", u"HSL", u"RGB", u"FFT", u"Wyostrz", u"Kanały",
      // 140
      u"Opcje", u"Rozszerzenie małymi literami", u"piksel", u"klatki", u"bit", u"bajt", u"dpi",
      u"KB", u"Dopasuj",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msPolish, kTexts);
}
