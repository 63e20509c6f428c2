// ESLint's recommended rules for the page (web/), its browser tests (tests/web/) and the page's
// benchmark (bench/*.mjs). Functions the tests hand to the page run there, so every file may use
// both the browser's globals and Node's.
import js from '@eslint/js';
import globals from 'globals';

export default [
  js.configs.recommended,
  {
    files: ['web/**/*.mjs', 'tests/web/**/*.mjs', 'bench/*.mjs', 'eslint.config.js'],
    languageOptions: { globals: { ...globals.browser, ...globals.node } },
  },
];
