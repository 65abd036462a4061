void lumoraPlaceholder() {}
