// Object library anchor for the compiled-in resources (translations, icons, images).
