-- Run by the console command "teleport": a hook for moving the players
-- while developing. It does nothing until a level script fills it in.
if TeleportPlayers ~= nil then
    TeleportPlayers()
end
