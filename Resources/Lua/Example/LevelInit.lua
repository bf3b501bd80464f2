-- Runs once when the example map has loaded, with the level as argument.
local level = ...
-- The map is 960 x 544 units with its top-left corner at (0, 0): centre it.
GetCamera():SetPosition(480, -272)
-- File under Resources/Sound/ first, then the name the sound is played by.
AddSound("coin.wav", "coin")
coins = 0
