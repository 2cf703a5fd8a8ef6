-- Tarvik11 for Neovim's nvim-dap: put this in your configuration (or :luafile it).
local dap = require('dap')
dap.adapters.tarvik11 = {
  type = 'executable',
  command = 'tarvik11-dap',
}
dap.configurations.asm = {
  {
    type = 'tarvik11',
    request = 'launch',
    name = '68HC11 on the virtual board',
    program = function()
      return vim.fn.input('Program (ELF): ', vim.fn.getcwd() .. '/', 'file')
    end,
    port = 'board',          -- or a serial device such as '/dev/ttyUSB0'
    chipMode = 'special-test',
    stopOnEntry = true,
  },
}
